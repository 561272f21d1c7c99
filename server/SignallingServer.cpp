#include "server/SignallingServer.h"

#include <asio/ip/address.hpp>
#include <asio/post.hpp>
#include <future>
#include <memory>

namespace intercom::server {

SignallingServer::SignallingServer(ServerState& state) : acceptor_(io_), hub_(state) {}

SignallingServer::~SignallingServer() {
    stop();
}

std::optional<std::uint16_t> SignallingServer::start(const std::string& host, std::uint16_t port) {
    asio::error_code error;
    const auto address = asio::ip::make_address(host, error);
    if (error) {
        return std::nullopt;
    }
    const asio::ip::tcp::endpoint endpoint(address, port);
    acceptor_.open(endpoint.protocol(), error);
    if (!error) {
        acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
        acceptor_.bind(endpoint, error);
    }
    if (!error) {
        acceptor_.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        acceptor_.close(error);
        return std::nullopt;
    }
    const auto bound = acceptor_.local_endpoint().port();
    accept();
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
            asio::error_code ignored;
            acceptor_.close(ignored);
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

void SignallingServer::accept() {
    acceptor_.async_accept([this](asio::error_code error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor_.is_open()) {
            return;
        }
        if (!error) {
            hub_.opened(std::make_shared<Session>(std::move(socket), hub_));
        }
        accept();
    });
}

}  // namespace intercom::server
