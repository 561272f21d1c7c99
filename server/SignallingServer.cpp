#include "server/SignallingServer.h"

#include <asio/post.hpp>
#include <future>
#include <memory>

namespace intercom::server {

SignallingServer::SignallingServer(ServerState& state)
    : hub_(state),
      listener_(
          io_.get_executor(), [this] { return io_.get_executor(); },
          [this](asio::ip::tcp::socket socket) {
              hub_.opened(std::make_shared<Session>(std::move(socket), hub_));
          }) {}

SignallingServer::~SignallingServer() {
    stop();
}

std::optional<std::uint16_t> SignallingServer::start(const std::string& host, std::uint16_t port) {
    const auto bound = listener_.open(host, port);
    if (!bound) {
        return std::nullopt;
    }
    thread_ = std::thread([this] { io_.run(); });
    const std::lock_guard lock(lifecycle_);
    running_ = true;
    return bound;
}

void SignallingServer::stop() {
    {
        const std::lock_guard lock(lifecycle_);
        if (!running_) {
            return;
        }
        running_ = false;
        asio::post(io_, [this] {
            listener_.close();
            hub_.closeAll();
            io_.stop();
        });
    }
    thread_.join();
}

bool SignallingServer::push(std::int64_t userId, std::span<const std::uint8_t> frame) {
    // The hub belongs to the network thread, so the push is done there and waited for.
    std::packaged_task<bool()> task([this, userId, frame = Bytes(frame.begin(), frame.end())] {
        return hub_.push(userId, frame);
    });
    auto sent = task.get_future();
    {
        const std::lock_guard lock(lifecycle_);
        if (!running_) {
            return false;
        }
        asio::post(io_, std::move(task));
    }
    return sent.get();
}

}  // namespace intercom::server
