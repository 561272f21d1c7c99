#include "RecordingPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/signalling/FrameReader.h"

namespace intercom::test {

RecordingPeer::RecordingPeer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

RecordingPeer::~RecordingPeer() {
    if (thread_.joinable()) {
        const char byte = 0;
        (void)::write(wake_[1], &byte, 1);
        thread_.join();
    }
    for (const int fd : {listener_, wake_[0], wake_[1], client_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

int RecordingPeer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

std::vector<RecordingPeer::Received> RecordingPeer::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<Frame> RecordingPeer::framesOf(Message type) const {
    std::vector<Frame> found;
    for (Received& received : frames()) {
        if (received.frame.type == type) {
            found.push_back(std::move(received.frame));
        }
    }
    return found;
}

Bytes RecordingPeer::raw(int connection) const {
    std::lock_guard lock(mutex_);
    return connection >= 1 && connection <= static_cast<int>(raw_.size()) ? raw_[connection - 1]
                                                                          : Bytes();
}

bool RecordingPeer::waitUntil(const std::function<bool(const std::vector<Received>&)>& done,
                              std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(frames_); });
}

void RecordingPeer::send(const Bytes& bytes, bool byteByByte) {
    // Under the lock, so that the connection cannot close and its number go to the next one
    // while the bytes go out.
    std::lock_guard lock(mutex_);
    const std::size_t step = byteByByte ? 1 : bytes.size();
    for (std::size_t offset = 0; client_ >= 0 && offset < bytes.size(); offset += step) {
        (void)::send(client_, bytes.data() + offset, std::min(step, bytes.size() - offset),
                     MSG_NOSIGNAL);
        if (byteByByte) {
            // Apart in time, so that the client's reads really see one byte each.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void RecordingPeer::drop() {
    std::lock_guard lock(mutex_);
    if (client_ >= 0) {
        ::shutdown(client_, SHUT_RDWR);
    }
}

void RecordingPeer::serve() {
    FrameReader reader;
    while (true) {
        int client = -1;
        {
            std::lock_guard lock(mutex_);
            client = client_;
        }
        pollfd entries[3] = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}, {client, POLLIN, 0}};
        if (::poll(entries, client >= 0 ? 3 : 2, -1) < 0) {
            continue;
        }
        if (entries[0].revents != 0) {
            return;
        }
        if (entries[1].revents != 0) {
            const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0) {
                std::lock_guard lock(mutex_);
                if (client_ >= 0) {
                    ::close(client_);
                }
                client_ = accepted;
                ++connections_;
                raw_.emplace_back();
                reader = FrameReader();
                changed_.notify_all();
            }
            continue;
        }
        if (client >= 0 && entries[2].revents != 0) {
            std::uint8_t chunk[4096];
            const auto size = ::recv(client, chunk, sizeof chunk, 0);
            std::lock_guard lock(mutex_);
            if (size <= 0) {
                ::close(client_);
                client_ = -1;
            } else {
                const auto now = Clock::now();
                raw_.back().insert(raw_.back().end(), chunk, chunk + size);
                reader.append(std::span<const std::uint8_t>(chunk, static_cast<std::size_t>(size)));
                while (auto frame = reader.next()) {
                    frames_.push_back({connections_, now, std::move(*frame)});
                }
            }
            changed_.notify_all();
        }
    }
}

}  // namespace intercom::test
