#pragma once

#include <asio/io_context.hpp>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "server/Listener.h"
#include "server/ServerState.h"
#include "server/SignallingHub.h"

namespace intercom::server {

// The signalling side of the stand-in server: accepts the clients' TCP connections and runs
// them all, with the hub, on one network thread of its own.
class SignallingServer {
  public:
    explicit SignallingServer(ServerState& state);
    ~SignallingServer();
    SignallingServer(const SignallingServer&) = delete;
    SignallingServer& operator=(const SignallingServer&) = delete;

    // Binds `host`:`port` (0: any free port) and starts serving; the bound port, or nothing
    // when binding failed.
    std::optional<std::uint16_t> start(const std::string& host, std::uint16_t port);
    void stop();

    // Sends a ready frame to the user's connection, from any thread; false when the user has
    // no connection or the server is not running.
    bool push(std::int64_t userId, std::span<const std::uint8_t> frame);

  private:
    asio::io_context io_;
    SignallingHub hub_;
    Listener listener_;
    // Guards `running_` and orders the posts of pushes against the stop's: a push posted
    // while running runs before the stop's close, so it never waits on a stopped loop.
    std::mutex lifecycle_;
    bool running_ = false;
    std::thread thread_;
};

}  // namespace intercom::server
