#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace intercom::server {

// A listening socket that hands over every connection it takes, for as long as it is open.
// One port holds one listener: a second server on the port fails to listen instead of
// sharing it (no SO_REUSEPORT), while a restart listens at once beside the last run's
// connections still closing (SO_REUSEADDR). When taking a connection fails (the process is
// out of file descriptors, say), it waits a moment before it tries again rather than spin.
// Its handlers run on the executor it is given, which must run them one at a time.
class Listener {
  public:
    using Accepted = std::function<void(asio::ip::tcp::socket)>;

    // `connectionExecutor` gives each connection's socket its executor.
    Listener(asio::any_io_executor executor,
             std::function<asio::any_io_executor()> connectionExecutor, Accepted accepted);

    // Binds `host`:`port` (0: any free port) and starts taking connections; the bound port,
    // or nothing when it cannot listen there.
    std::optional<std::uint16_t> open(const std::string& host, std::uint16_t port);
    // On the listener's executor.
    void close();

  private:
    void accept();

    asio::ip::tcp::acceptor acceptor_;
    std::uint16_t port_ = 0;
    asio::steady_timer retry_;
    std::function<asio::any_io_executor()> connectionExecutor_;
    Accepted accepted_;
    // Set from the first failure until a connection is taken again, so that a run of
    // failures is logged once.
    bool failing_ = false;
};

}  // namespace intercom::server
