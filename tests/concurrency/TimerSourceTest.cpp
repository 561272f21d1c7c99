#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <vector>

#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/TimerSource.h"

using namespace std::chrono_literals;
using intercom::dispatch::Clock;
using intercom::dispatch::TimerSource;

namespace {

// Waits on the test thread without a sleep loop for what a timer's handler reports.
class Ticks {
  public:
    void record() {
        std::lock_guard lock(mutex_);
        times_.push_back(Clock::now());
        changed_.notify_all();
    }
    bool waitFor(std::size_t count, std::chrono::seconds limit = 5s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return times_.size() >= count; });
    }
    std::vector<Clock::time_point> times() {
        std::lock_guard lock(mutex_);
        return times_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Clock::time_point> times_;
};

}  // namespace

TEST(TimerSource, StartsSuspendedThenTicksAtItsCadence) {
    Ticks ticks;
    auto timer = TimerSource::create();
    const auto deadline = Clock::now() + 30ms;
    constexpr auto interval = 20ms;
    timer->schedule(deadline, interval, 0ms);
    timer->setEventHandler([&] { ticks.record(); });
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(ticks.times().empty()) << "a timer must not tick before resume";

    const auto resumed = Clock::now();
    timer->resume();
    ASSERT_TRUE(ticks.waitFor(6));
    timer->cancel();
    const auto times = ticks.times();
    EXPECT_GE(times[0], resumed);
    // Ticks keep the phase of the first deadline: a late tick is never followed by a burst
    // that catches up, so no two ticks fall into the same interval.
    const auto slot = [&](Clock::time_point t) { return (t - deadline) / interval; };
    for (std::size_t k = 1; k < times.size(); ++k) {
        EXPECT_GT(slot(times[k]), slot(times[k - 1])) << "tick " << k;
    }
}

TEST(TimerSource, HandlerNeverOverlapsItself) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    Ticks ticks;
    auto timer = TimerSource::create();
    timer->schedule(Clock::now(), 1ms, 0ms);
    timer->setEventHandler([&] {
        if (inside.fetch_add(1) != 0) {
            overlapped = true;
        }
        std::this_thread::sleep_for(5ms);
        inside.fetch_sub(1);
        ticks.record();
    });
    timer->resume();
    ASSERT_TRUE(ticks.waitFor(10));
    timer->cancel();
    EXPECT_FALSE(overlapped);
}

TEST(TimerSource, CancelFromInsideItsHandlerStopsIt) {
    Ticks ticks;
    auto timer = TimerSource::create();
    std::weak_ptr<TimerSource> weak = timer;
    timer->schedule(Clock::now(), 2ms, 0ms);
    timer->setEventHandler([&ticks, weak] {
        ticks.record();
        if (ticks.times().size() == 3) {
            weak.lock()->cancel();
        }
    });
    timer->resume();
    ASSERT_TRUE(ticks.waitFor(3));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.times().size(), 3U);
    EXPECT_TRUE(timer->isCancelled());
}

TEST(TimerSource, NoHandlerRunsOnceCancelReturns) {
    for (int round = 0; round < 50; ++round) {
        std::atomic<bool> cancelled{false};
        std::atomic<bool> ranAfterCancel{false};
        auto timer = TimerSource::create();
        timer->schedule(Clock::now(), 100us, 0ms);
        timer->setEventHandler([&] {
            std::this_thread::sleep_for(200us);
            if (cancelled) {
                ranAfterCancel = true;
            }
        });
        timer->resume();
        std::this_thread::sleep_for(std::chrono::microseconds(300 + round * 20));
        // Cancel from another pool thread, as the home page and the connection do.
        std::promise<void> done;
        intercom::dispatch::globalQueue().async([&] {
            timer->cancel();
            cancelled = true;
            done.set_value();
        });
        done.get_future().wait();
        std::this_thread::sleep_for(1ms);
        ASSERT_FALSE(ranAfterCancel) << "round " << round;
    }
}

TEST(TimerSource, CancelReleasesTheHandlerAndDroppingTheTimerStopsIt) {
    auto owner = std::make_shared<int>(1);
    std::atomic<int> ticks{0};
    auto timer = TimerSource::create();
    timer->schedule(Clock::now(), 1ms, 0ms);
    timer->setEventHandler([owner, &ticks] { ++ticks; });
    timer->resume();
    timer->cancel();
    EXPECT_EQ(owner.use_count(), 1) << "a cancelled timer must not keep its handler's captures";

    // Also when the handler is running while another thread cancels.
    std::atomic<bool> inside{false};
    auto busy = TimerSource::create();
    busy->schedule(Clock::now(), 1ms, 0ms);
    busy->setEventHandler([owner, &inside] {
        inside = true;
        std::this_thread::sleep_for(20ms);
    });
    busy->resume();
    while (!inside) {
        std::this_thread::yield();
    }
    busy->cancel();
    EXPECT_EQ(owner.use_count(), 1) << "the running handler's captures must be gone by then";

    Ticks dropped;
    auto other = TimerSource::create();
    other->schedule(Clock::now() + 20ms, 1ms, 0ms);
    other->setEventHandler([&] { dropped.record(); });
    other->resume();
    other.reset();
    std::this_thread::sleep_for(40ms);
    EXPECT_TRUE(dropped.times().empty());
}
