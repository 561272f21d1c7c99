#include "RecordingPeer.h"

#include <arpa/inet.h>
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
    ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe(wake_) != 0) {
        wake_[0] = wake_[1] = -1;
    }
    thread_ = std::thread([this] { serve(); });
}

RecordingPeer::~RecordingPeer() {
    const char stop = 0;
    (void)::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::vector<Frame> RecordingPeer::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<Frame> RecordingPeer::framesOf(Message type) const {
    std::vector<Frame> found;
    for (Frame& frame : frames()) {
        if (frame.type == type) {
            found.push_back(std::move(frame));
        }
    }
    return found;
}

int RecordingPeer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void RecordingPeer::send(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    std::size_t sent = 0;
    while (client_ >= 0 && sent < bytes.size()) {
        const auto n = ::send(client_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

void RecordingPeer::dropClient() {
    std::lock_guard lock(mutex_);
    if (client_ >= 0) {
        ::shutdown(client_, SHUT_RDWR);
    }
}

void RecordingPeer::serve() {
    FrameReader reader;
    int client = -1;
    while (true) {
        pollfd entries[2] = {{wake_[0], POLLIN, 0}, {client >= 0 ? client : listener_, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            continue;
        }
        if (entries[0].revents != 0) {
            break;
        }
        if (client < 0) {
            client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            std::lock_guard lock(mutex_);
            client_ = client;
            ++connections_;
            reader = FrameReader();
            continue;
        }
        std::uint8_t chunk[4096];
        const auto n = ::recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) {
            std::lock_guard lock(mutex_);
            ::close(client);
            client = client_ = -1;
            continue;
        }
        reader.append(std::span(chunk, static_cast<std::size_t>(n)));
        std::lock_guard lock(mutex_);
        while (auto frame = reader.next()) {
            frames_.push_back(std::move(*frame));
        }
    }
    if (client >= 0) {
        ::close(client);
    }
}

}  // namespace intercom::test
