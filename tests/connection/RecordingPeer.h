#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/signalling/Frame.h"
#include "platform/Bytes.h"

namespace intercom::test {

// A listener on a free loopback port that stands where the server would and keeps every
// byte the client writes, cut into frames with their arrival times. It serves one
// connection at a time: a new one replaces the last.
class RecordingPeer {
  public:
    using Clock = std::chrono::steady_clock;
    struct Received {
        int connection = 0;  // counts from 1, in order of acceptance
        Clock::time_point at;
        Frame frame;
    };

    RecordingPeer();
    ~RecordingPeer();
    RecordingPeer(const RecordingPeer&) = delete;
    RecordingPeer& operator=(const RecordingPeer&) = delete;

    std::uint16_t port() const { return port_; }
    int connections() const;
    std::vector<Received> frames() const;
    // The frames of one type, in arrival order.
    std::vector<Frame> framesOf(Message type) const;
    // Every byte of connection `connection`, as it came.
    Bytes raw(int connection) const;
    // Waits until `done` holds for the frames received so far; its last answer.
    bool waitUntil(const std::function<bool(const std::vector<Received>&)>& done,
                   std::chrono::milliseconds limit);

    // Writes to the current connection, one byte per write when `byteByByte`.
    void send(const Bytes& bytes, bool byteByByte = false);
    // Closes the current connection; the client sees the server go.
    void drop();

  private:
    void serve();

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int client_ = -1;
    int connections_ = 0;
    std::vector<Bytes> raw_;
    std::vector<Received> frames_;
    std::thread thread_;
};

}  // namespace intercom::test
