#pragma once

#include <httplib.h>

#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace intercom::server {

// cpp-httplib's parsing, routing and reply writing for a request that has already arrived
// whole: the request is read from memory and the reply written to memory, so that answering
// never waits on a client. Routes and handlers are set up as on any cpp-httplib server; its
// own listening and worker threads are never started. Safe to call from several threads.
class RequestRouter : public httplib::Server {
  public:
    // Far above any real form; a bigger body is turned away before it is read.
    static constexpr std::size_t kMaxBodyBytes = 1 << 20;
    // For a whole request to arrive, and for the next one on a kept-alive connection (the
    // replies say so). A client that needs longer is dropped, so that silent clients cannot
    // gather until the process runs out of descriptors.
    static constexpr std::chrono::seconds kRequestLimit{10};

    RequestRouter();

    struct Reply {
        std::string bytes;
        // The client asked to close, or the request could not be read.
        bool close = true;
    };

    Reply answer(std::string_view request, const asio::ip::tcp::endpoint& remote,
                 const asio::ip::tcp::endpoint& local);
};

}  // namespace intercom::server
