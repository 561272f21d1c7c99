#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "server/AdminHandler.h"
#include "server/ApiHandler.h"

namespace httplib {
class Server;
}

namespace intercom::server {

// The HTTP side of the stand-in server: posts to the API paths answered by ApiHandler on
// a thread of its own, every reply a JSON object, also for requests it turns away.
class HTTPServer {
  public:
    // With `push`, `/admin/push` sends frames to connected users through it.
    explicit HTTPServer(const ServerState& state, AdminHandler::Push push = {});
    ~HTTPServer();
    HTTPServer(const HTTPServer&) = delete;
    HTTPServer& operator=(const HTTPServer&) = delete;

    // Binds `host`:`port` (0: any free port) and starts answering; the bound port, or
    // nothing when binding failed.
    std::optional<std::uint16_t> start(const std::string& host, std::uint16_t port);
    void stop();

  private:
    ApiHandler handler_;
    AdminHandler admin_;
    std::unique_ptr<httplib::Server> server_;
    std::atomic<bool> loopEnded_{false};
    std::thread thread_;
};

}  // namespace intercom::server
