#include "SignallingClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "LoopbackSocket.h"
#include "net/signalling/ByteOrder.h"
#include "net/signalling/FrameBuilder.h"

namespace intercom::test {

SignallingClient::SignallingClient(std::uint16_t port) : fd_(connectLoopback(port)) {}

SignallingClient::~SignallingClient() {
    close();
}

void SignallingClient::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void SignallingClient::send(const Bytes& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const auto n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

std::optional<Frame> SignallingClient::next(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        if (auto frame = reader_.next()) {
            return frame;
        }
        if (fd_ < 0 || ended_ || reader_.isBroken()) {
            return std::nullopt;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            return std::nullopt;
        }
        std::uint8_t chunk[4096];
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ended_ = true;
            continue;
        }
        reader_.append(std::span(chunk, static_cast<std::size_t>(n)));
    }
}

std::optional<Frame> SignallingClient::nextOf(Message type, std::vector<Frame>* skipped) {
    while (auto frame = next()) {
        if (frame->type == type) {
            return frame;
        }
        if (skipped != nullptr) {
            skipped->push_back(std::move(*frame));
        }
    }
    return std::nullopt;
}

std::vector<Frame> SignallingClient::drain() {
    std::vector<Frame> before;
    send(dodgeFrame(0, 0, 0));
    nextOf(Message::channelPriorityDodge, &before);
    return before;
}

bool SignallingClient::closedByServer() {
    while (next()) {
    }
    return ended_;
}

std::int64_t SignallingClient::bind(std::int64_t userId, std::int64_t sceneId) {
    return request(Message::sceneBind, sceneBindFrame(userId, sceneId));
}

std::int64_t SignallingClient::request(Message type, const Bytes& frame) {
    send(frame);
    const auto answer = nextOf(type);
    return answer ? leadingInt(answer->payload) : kNoInt32Data;
}

Bytes sceneBindFrame(std::int64_t userId, std::int64_t sceneId) {
    return *FrameBuilder(Message::sceneBind).integer(userId).integer(sceneId).finish();
}

Bytes dodgeFrame(std::int64_t userId, std::int64_t sceneId, std::int64_t value) {
    return *FrameBuilder(Message::channelPriorityDodge)
                .integer(userId)
                .integer(sceneId)
                .integer(value)
                .finish();
}

Bytes turnPageFrame(std::int64_t userId, std::int64_t sceneId,
                    const std::vector<std::int64_t>& groups) {
    FrameBuilder builder(Message::turnPage);
    builder.integer(userId).integer(sceneId).integer(static_cast<std::int64_t>(groups.size()));
    for (const auto groupId : groups) {
        builder.integer(groupId);
    }
    return *builder.finish();
}

Bytes listenerFrame(Message type, std::int64_t userId, std::int64_t sceneId, std::int64_t groupId,
                    bool flag, const std::string& name) {
    return *FrameBuilder(type)
                .integer(userId)
                .integer(sceneId)
                .integer(groupId)
                .flag(flag)
                .text(name)
                .finish();
}

Bytes callFrame(Message type, std::int64_t userId, std::int64_t sceneId, std::int64_t otherId,
                const std::string& name) {
    FrameBuilder builder(type);
    builder.integer(userId).integer(sceneId).integer(otherId);
    if (type == Message::callOnline || type == Message::callOffline || type == Message::callAgree) {
        builder.text(name);
    }
    return *builder.finish();
}

Bytes audioFrame(Message type, std::int64_t id, std::int64_t sceneId,
                 const std::vector<std::int64_t>& groups, const Bytes& amr) {
    FrameBuilder builder(type);
    builder.integer(id).integer(sceneId);
    if (!groups.empty()) {
        builder.integer(static_cast<std::int64_t>(groups.size()));
        for (const auto groupId : groups) {
            builder.integer(groupId);
        }
    }
    return *builder.bytes(amr).finish();
}

Bytes voiceBlock(std::uint8_t seed) {
    Bytes block(64);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    block[0] = 0x3C;
    block[32] = 0x3C;
    return block;
}

std::int64_t leadingInt(const Bytes& payload) {
    return bigEndianInt32(payload);
}

std::string textAfter(const Bytes& payload, std::size_t offset) {
    if (offset > payload.size()) {
        return {};
    }
    return std::string(payload.begin() + static_cast<std::ptrdiff_t>(offset), payload.end());
}

}  // namespace intercom::test
