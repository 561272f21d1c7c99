#pragma once

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <cstddef>
#include <memory>
#include <string>

#include "server/RequestRouter.h"

namespace intercom::server {

// One client's HTTP connection. Each request is read whole (its head up to a bound, then the
// body its Content-Length names) before the router answers it, and the reply is written
// without waiting either, so a slow or silent client holds no thread, only its socket. A
// request must arrive whole within a time limit, and a head beyond the bound is refused with
// 431. Runs on the socket's executor, which runs its handlers one at a time.
class HTTPConnection : public std::enable_shared_from_this<HTTPConnection> {
  public:
    HTTPConnection(asio::ip::tcp::socket socket, RequestRouter& router);

    void start();

  private:
    void readHead();
    void readBody(std::size_t headSize);
    void answer(std::size_t requestSize, bool closeAfter);
    void refuseHead();
    // Ends the connection after its last reply.
    void finish();
    void discardUntilClosed();
    void close();

    asio::ip::tcp::socket socket_;
    asio::steady_timer deadline_;
    RequestRouter& router_;
    // What has arrived and is not answered yet: a request, and any bytes of the next one.
    std::string received_;
    std::string reply_;
    std::array<char, 4096> discarded_{};
};

}  // namespace intercom::server
