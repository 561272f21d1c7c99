#include "server/Listener.h"

#include <asio/ip/address.hpp>
#include <chrono>
#include <string>
#include <utility>

#include "platform/Log.h"

namespace intercom::server {

namespace {

// Long enough that a process out of descriptors idles until one is freed, short enough that
// the connections waiting in the backlog are taken soon after.
constexpr auto kRetryAfterFailure = std::chrono::milliseconds(250);

}  // namespace

Listener::Listener(asio::any_io_executor executor,
                   std::function<asio::any_io_executor()> connectionExecutor, Accepted accepted)
    : acceptor_(executor),
      retry_(executor),
      connectionExecutor_(std::move(connectionExecutor)),
      accepted_(std::move(accepted)) {}

std::optional<std::uint16_t> Listener::open(const std::string& host, std::uint16_t port) {
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
        // As deep as the system allows: a crowd of clients that connect at once waits there
        // instead of having its connection attempts dropped and retried seconds later.
        acceptor_.listen(asio::socket_base::max_listen_connections, error);
    }
    if (!error) {
        port_ = acceptor_.local_endpoint(error).port();
    }
    if (error) {
        acceptor_.close(error);
        return std::nullopt;
    }
    accept();
    return port_;
}

void Listener::close() {
    asio::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
}

void Listener::accept() {
    acceptor_.async_accept(
        connectionExecutor_(), [this](asio::error_code error, asio::ip::tcp::socket socket) {
            if (error == asio::error::operation_aborted || !acceptor_.is_open()) {
                return;
            }
            if (!error) {
                failing_ = false;
                accepted_(std::move(socket));
                accept();
                return;
            }
            if (!failing_) {
                logFailure("cannot take a connection on port " + std::to_string(port_) + ": " +
                           error.message() + "; trying again");
                failing_ = true;
            }
            retry_.expires_after(kRetryAfterFailure);
            retry_.async_wait([this](asio::error_code waitError) {
                if (!waitError && acceptor_.is_open()) {
                    accept();
                }
            });
        });
}

}  // namespace intercom::server
