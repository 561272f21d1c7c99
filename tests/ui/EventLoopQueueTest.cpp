#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "UiTestSupport.h"
#include "app/EventLoopQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

class EventLoopQueueTest : public ::testing::Test {
  protected:
    void SetUp() override { dispatch::setMainQueue(queue_); }
    void TearDown() override { dispatch::setMainQueue(nullptr); }

    std::shared_ptr<EventLoopQueue> queue_ = std::make_shared<EventLoopQueue>();
    QThread* const guiThread_ = QThread::currentThread();
};

TEST_F(EventLoopQueueTest, WorkFromAnyThreadRunsOnTheInterfaceThreadInOrder) {
    std::vector<int> order;
    std::atomic<bool> ranOnGui{true};
    std::thread poster([&] {
        EXPECT_FALSE(dispatch::mainQueue().isCurrent());
        for (int i = 0; i < 100; ++i) {
            dispatch::mainQueue().async([&, i] {
                ranOnGui = ranOnGui && QThread::currentThread() == guiThread_ &&
                           dispatch::mainQueue().isCurrent();
                order.push_back(i);
            });
        }
    });
    poster.join();
    ASSERT_TRUE(waitUntil([&] { return order.size() == 100; }));
    EXPECT_TRUE(ranOnGui);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST_F(EventLoopQueueTest, AsyncNeverRunsOnTheCallersStack) {
    bool ran = false;
    dispatch::mainQueue().async([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(waitUntil([&] { return ran; }));
}

TEST_F(EventLoopQueueTest, AfterWaitsItsDelayOnTheInterfaceThread) {
    std::atomic<bool> ran{false};
    std::atomic<bool> onGui{false};
    dispatch::Clock::time_point ranAt;
    const auto start = dispatch::Clock::now();
    dispatch::globalQueue().async([&] {
        dispatch::mainQueue().after(100ms, [&] {
            ranAt = dispatch::Clock::now();
            onGui = QThread::currentThread() == guiThread_;
            ran = true;
        });
    });
    ASSERT_TRUE(waitUntil([&] { return ran.load(); }));
    EXPECT_TRUE(onGui);
    EXPECT_GE(ranAt - start, 100ms);
}

TEST_F(EventLoopQueueTest, ObserversOnTheMainQueueHearPostsFromOtherThreads) {
    NotificationCenter center;
    std::atomic<int> heard{0};
    std::atomic<bool> onGui{false};
    Observation observation =
        center.addObserver("UserOnline", dispatch::mainQueue(), [&](const Notification& n) {
            onGui = QThread::currentThread() == guiThread_;
            heard = std::any_cast<int>(n.object);
        });
    dispatch::globalQueue().async([&] { center.post("UserOnline", 42); });
    ASSERT_TRUE(waitUntil([&] { return heard.load() == 42; }));
    EXPECT_TRUE(onGui);
}

}  // namespace
}  // namespace intercom
