#pragma once

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

#include "net/signalling/Frame.h"
#include "net/signalling/FrameReader.h"
#include "platform/Bytes.h"

namespace intercom::server {

class Session;

// Told of every frame a connection delivers and, once, of its end.
class SessionListener {
  public:
    virtual ~SessionListener() = default;
    virtual void received(Session& session, const Frame& frame) = 0;
    virtual void closed(Session& session) = 0;
};

// One client's signalling connection. Everything here runs on the server's one network
// thread: the read that is always outstanding, the queued writes and the close.
class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(asio::ip::tcp::socket socket, SessionListener& listener);

    void start();
    // Queues a whole frame; frames go out in the order they were sent, never interleaved.
    void send(std::span<const std::uint8_t> frame);
    // Ends the connection; the listener hears `closed` once, whoever ends it.
    void close();
    // Ends the connection once `limit` has passed, unless `keepOpen` comes first.
    void closeAfter(std::chrono::steady_clock::duration limit);
    void keepOpen();

  private:
    void read();
    void writePending();

    asio::ip::tcp::socket socket_;
    asio::steady_timer deadline_;
    SessionListener& listener_;
    FrameReader reader_;
    std::array<std::uint8_t, 16 * 1024> chunk_{};
    // Frames sent while a write is under way gather here and go out together in the next.
    Bytes pending_;
    Bytes writing_;
    bool writeUnderWay_ = false;
    bool flushQueued_ = false;
    bool closing_ = false;
    bool closed_ = false;
};

}  // namespace intercom::server
