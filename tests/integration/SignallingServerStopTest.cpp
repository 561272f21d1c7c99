#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "server/SignallingServer.h"

namespace intercom {
namespace {

// An operator's push may come from an HTTP thread at the very moment the server stops. It
// must come back at once, not hang until the server object is destroyed: an HTTP side that
// is stopped after the signalling side waits for its pushes to end.
TEST(SignallingServerStopTest, PushesRacingTheStopAllReturnBeforeTheServerGoes) {
    using namespace std::chrono_literals;
    const server::ServerData data = server::ServerData::load(INTERCOM_DEMO_DATA);
    const std::array<std::uint8_t, 8> frame = {0, 0, 0, 4, 0, 0, 0, 80};
    constexpr int kRounds = 100;
    constexpr int kPushers = 3;
    for (int round = 0; round < kRounds; ++round) {
        server::ServerState state(data);
        std::atomic<bool> stopping{false};
        std::atomic<int> started{0};
        std::vector<std::future<void>> pushers;
        // Declared last, so that a push left hanging is freed by the server's end before the
        // pushers are waited for.
        server::SignallingServer signalling(state);
        ASSERT_TRUE(signalling.start("127.0.0.1", 0).has_value());
        for (int i = 0; i < kPushers; ++i) {
            pushers.push_back(std::async(std::launch::async, [&] {
                ++started;
                // Nobody is connected, so every push answers false at once.
                while (!stopping) {
                    signalling.push(1, frame);
                }
            }));
        }
        while (started < kPushers) {
            std::this_thread::yield();
        }
        stopping = true;
        signalling.stop();
        for (auto& pusher : pushers) {
            // Generous for a sanitizer build on a loaded machine; a hung push never returns.
            ASSERT_EQ(pusher.wait_for(30s), std::future_status::ready) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace intercom
