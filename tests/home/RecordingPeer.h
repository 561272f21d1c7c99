#pragma once

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "net/signalling/Frame.h"
#include "platform/Bytes.h"

namespace intercom::test {

// Stands where the signalling server would: accepts the client's connections on a free
// loopback port one after the other and keeps every frame that arrives, in order.
class RecordingPeer {
  public:
    RecordingPeer();
    ~RecordingPeer();
    RecordingPeer(const RecordingPeer&) = delete;
    RecordingPeer& operator=(const RecordingPeer&) = delete;

    std::uint16_t port() const { return port_; }
    std::vector<Frame> frames() const;
    // The frames of one type, in arrival order.
    std::vector<Frame> framesOf(Message type) const;
    int connections() const;
    // Writes bytes to the client's current connection.
    void send(const Bytes& bytes);
    // Closes the client's current connection, as a server that goes away would.
    void dropClient();

  private:
    void serve();

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    int client_ = -1;
    int connections_ = 0;
    std::vector<Frame> frames_;
    std::thread thread_;
};

}  // namespace intercom::test
