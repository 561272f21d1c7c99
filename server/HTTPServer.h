#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "server/AdminHandler.h"
#include "server/ApiHandler.h"
#include "server/RequestRouter.h"

namespace intercom::server {

// The HTTP side of the stand-in server: posts to the API paths answered by ApiHandler, every
// reply a JSON object, also for requests it turns away. A few threads of its own run every
// connection without ever waiting on a client, so slow or silent clients do not hold up
// the others.
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
    // Stops answering and closes every connection.
    void stop();

  private:
    struct Running;

    ApiHandler handler_;
    AdminHandler admin_;
    RequestRouter router_;
    std::unique_ptr<Running> running_;
};

}  // namespace intercom::server
