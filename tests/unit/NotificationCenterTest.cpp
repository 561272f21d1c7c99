#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "model/Group.h"
#include "platform/NotificationCenter.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"

using namespace std::chrono_literals;
using intercom::Notification;
using intercom::NotificationCenter;
using intercom::Observation;
namespace dispatch = intercom::dispatch;

namespace {

// Stands in for a page: it observes while it exists.
struct Page {
    Observation observation;
    int calls = 0;
    std::thread::id thread;
    std::int64_t groupId = 0;
};

}  // namespace

TEST(NotificationCenter, PostFromAnotherThreadIsDeliveredOnTheMainQueue) {
    NotificationCenter center;
    Page page;
    page.observation = center.addObserver(
        "ChannelListenersChanged", dispatch::mainQueue(), [&page](const Notification& n) {
            ++page.calls;
            page.thread = std::this_thread::get_id();
            page.groupId = std::any_cast<intercom::Group>(n.object).id;
        });
    intercom::Group group;
    group.id = 12;
    dispatch::globalQueue().async([&] { center.post("ChannelListenersChanged", group); });
    center.post("UserOnline", std::int64_t{3});

    ASSERT_TRUE(dispatch::mainRunLoop().runUntil([&] { return page.calls == 1; }, 5s));
    EXPECT_EQ(page.thread, std::this_thread::get_id());
    EXPECT_EQ(page.groupId, 12);
    dispatch::mainRunLoop().runFor(20ms);
    EXPECT_EQ(page.calls, 1) << "other names must not reach the observer";
}

TEST(NotificationCenter, PostOnTheMainQueueDeliversBeforeReturning) {
    NotificationCenter center;
    int calls = 0;
    auto observation =
        center.addObserver("ChatListChanged", dispatch::mainQueue(), [&](const Notification& n) {
            EXPECT_FALSE(n.object.has_value());
            ++calls;
        });
    dispatch::mainQueue().async([&] { center.post("ChatListChanged"); });
    ASSERT_TRUE(dispatch::mainRunLoop().runUntil([&] { return calls == 1; }, 5s));
}

TEST(NotificationCenter, ObserverIsGoneWithItsOwnerEvenWithDeliveryQueued) {
    NotificationCenter center;
    int calls = 0;
    auto page = std::make_unique<Page>();
    page->observation = center.addObserver("UserOffline", dispatch::mainQueue(),
                                           [&calls](const Notification&) { ++calls; });
    std::thread poster([&] { center.post("UserOffline", std::int64_t{1}); });
    poster.join();
    page.reset();  // the delivery is already queued on the main queue
    center.post("UserOffline", std::int64_t{2});
    dispatch::mainRunLoop().runFor(30ms);
    EXPECT_EQ(calls, 0);
}

TEST(NotificationCenter, RemovedByTokenAndMovedObservationsStayRegistered) {
    NotificationCenter center;
    int first = 0;
    int second = 0;
    auto a = center.addObserver("UserOnline", dispatch::mainQueue(),
                                [&](const Notification&) { ++first; });
    Observation moved = std::move(a);
    auto b = center.addObserver("UserOnline", dispatch::mainQueue(),
                                [&](const Notification&) { ++second; });
    b.remove();
    dispatch::mainQueue().async([&] { center.post("UserOnline", std::int64_t{4}); });
    dispatch::mainRunLoop().runFor(20ms);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}
