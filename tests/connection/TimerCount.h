#pragma once

#include <chrono>
#include <thread>

#include "net/signalling/TCPSocket.h"

namespace intercom::test {

// A timer that a tick has just taken is cancelled a moment later, after the tick lets go of
// the connection's lock; this waits for such a moment to pass.
inline bool runningTimersSettleAt(const TCPSocket& socket, std::size_t wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (socket.runningTimersForTesting() != wanted) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace intercom::test
