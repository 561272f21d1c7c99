#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/dispatch/GlobalQueue.h"

using namespace std::chrono_literals;
namespace dispatch = intercom::dispatch;

// The process may end from work on the global queue (a deleted user quits the client), and
// audio threads may post to the queue while the process is ending: neither may hang or crash.

class GlobalQueueExit : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(GlobalQueueExit, ExitFromWorkOnTheQueueEndsTheProcess) {
    EXPECT_EXIT(
        {
            dispatch::globalQueue().async([] { std::exit(3); });
            std::this_thread::sleep_for(60s);
        },
        ::testing::ExitedWithCode(3), "");
}

TEST_F(GlobalQueueExit, PostingWhileTheProcessExitsIsHarmless) {
    EXPECT_EXIT(
        {
            std::atomic<int> ran{0};
            std::thread poster([&ran] {
                for (;;) {
                    dispatch::globalQueue().async([&ran] { ++ran; });
                    dispatch::globalQueue().after(1ms, [] {});
                }
            });
            poster.detach();
            while (ran.load() < 100) {
                std::this_thread::yield();
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
