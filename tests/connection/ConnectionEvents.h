#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "net/signalling/TCPSocketDelegate.h"

namespace intercom::test {

// A connection's delegate that keeps what it was told, when, and whether two calls ever
// overlapped.
class ConnectionEvents final : public TCPSocketDelegate {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Kind { connected, received, disconnected };
    struct Event {
        Kind kind;
        Clock::time_point at;
        Message message = Message::unknown;
        Bytes payload;
    };

    void tcpSocketDidConnect(TCPSocket& socket) override;
    void tcpSocketDidReceive(Message message, const Bytes& data) override;
    void tcpSocketDidDisconnect() override;

    std::vector<Event> events() const;
    int count(Kind kind) const;
    bool overlapped() const;
    bool waitUntil(const std::function<bool(const std::vector<Event>&)>& done,
                   std::chrono::milliseconds limit);
    bool waitForCount(Kind kind, int count, std::chrono::milliseconds limit);

  private:
    void record(Event event);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    int inside_ = 0;
    bool overlapped_ = false;
};

}  // namespace intercom::test
