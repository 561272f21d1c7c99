#include <gtest/gtest.h>

#include <memory>

#include "platform/dispatch/MainQueue.h"

namespace dispatch = intercom::dispatch;

namespace {

class CountingQueue final : public dispatch::Queue {
  public:
    void async(dispatch::Work work) override {
        ++posted_;
        work();
    }
    void after(dispatch::Duration, dispatch::Work work) override { async(std::move(work)); }
    bool isCurrent() const override { return false; }
    int posted() const { return posted_; }

  private:
    int posted_ = 0;
};

}  // namespace

TEST(MainQueue, InstalledQueueServesUntilReplacedAndOutlivesIt) {
    auto installed = std::make_shared<CountingQueue>();
    CountingQueue* queue = installed.get();
    dispatch::setMainQueue(std::move(installed));
    dispatch::Queue& held = dispatch::mainQueue();
    EXPECT_EQ(&held, queue);

    dispatch::setMainQueue(nullptr);
    EXPECT_EQ(&dispatch::mainQueue(), &dispatch::mainRunLoop());
    // A thread that took the queue just before the switch may still post to it.
    bool ran = false;
    held.async([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(queue->posted(), 1);
}
