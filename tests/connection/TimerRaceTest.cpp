#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "ConnectionEvents.h"
#include "RecordingPeer.h"
#include "StoredRecords.h"
#include "net/signalling/TCPSocket.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using test::RecordingPeer;

std::size_t pingCount(const RecordingPeer& peer) {
    const auto frames = peer.frames();
    return static_cast<std::size_t>(std::count_if(
        frames.begin(), frames.end(), [](const auto& r) { return r.frame.type == Message::ping; }));
}

// The heartbeat and the reconnect timer are started and stopped from several threads at
// once, as the delegate queue, the timer queue and the main thread do. Afterwards there is
// never a second timer of a kind, and a stopped timer sends nothing more.
TEST(TimerRaceTest, StartsAndStopsFromSeveralThreadsLeaveAtMostOneTimerOfEachKind) {
    const test::StoredRecords records(7, 3);
    RecordingPeer peer;
    TCPSocket socket("127.0.0.1", peer.port(),
                     {.pingInterval = 5ms, .firstReconnectDelay = 1ms, .reconnectInterval = 2ms});
    socket.connect(std::make_shared<test::ConnectionEvents>());
    ASSERT_TRUE(peer.waitUntil([](const auto& frames) { return frames.size() >= 3; }, 20s));

    constexpr int kThreads = 4;
    constexpr int kRounds = 1500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&socket, t] {
            std::mt19937 random(static_cast<unsigned>(t));
            for (int round = 0; round < kRounds; ++round) {
                switch (random() % 4) {
                    case 0:
                        socket.startPing();
                        break;
                    case 1:
                        socket.stopPing();
                        break;
                    case 2:
                        socket.startReconnect();
                        break;
                    default:
                        socket.stopReconnect();
                        break;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    socket.startPing();
    socket.startReconnect();
    EXPECT_LE(socket.runningTimersForTesting(), 2U);

    socket.stopPing();
    socket.stopReconnect();
    EXPECT_EQ(socket.runningTimersForTesting(), 0U) << "a timer runs that nothing holds";
    // A ping that the last tick wrote may still be on its way.
    std::this_thread::sleep_for(50ms);
    const auto stopped = pingCount(peer);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(pingCount(peer), stopped);

    socket.startPing();
    socket.startPing();
    EXPECT_EQ(socket.runningTimersForTesting(), 1U);
    EXPECT_TRUE(socket.isConnected());
    EXPECT_EQ(peer.connections(), 1);
}

}  // namespace
}  // namespace intercom
