#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "ConnectionEvents.h"
#include "ServerChild.h"
#include "SignallingClient.h"
#include "UiTestSupport.h"
#include "app/EventLoopQueue.h"
#include "model/Setting.h"
#include "model/UserInfo.h"
#include "net/signalling/TCPSocket.h"
#include "platform/KeyValueStore.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"
#include "ui/pages/Chat.h"
#include "ui/pages/ChatListPage.h"
#include "ui/pages/SettingPage.h"

// What the overlays send over the shared signalling connection, which always goes to the
// fixed server address: the stand-in server runs on the fixed ports, one such test at a time.

namespace intercom {
namespace {

using test::waitUntil;

class OverlaySignallingTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dispatch::setMainQueue(std::make_shared<EventLoopQueue>());
        std::string error;
        server =
            test::ServerChild::start(INTERCOM_SERVER_PATH,
                                     {"--http-port", "8001", "--signalling-port", "6001"}, error)
                .release();
        ASSERT_NE(server, nullptr) << error;
        UserInfo user;
        user.id = 1;
        user.name = "张伟";
        user.level = 1;
        user.sceneId = 1;
        ASSERT_TRUE(user.save());
        events = std::make_shared<test::ConnectionEvents>();
        TCPSocket::shared().connect(events);
        ASSERT_TRUE(waitUntil([] { return dodgeAnswers() == 1; }));
    }

    static void TearDownTestSuite() {
        // The shared connection lives on for the process; it ends with this program.
        delete server;
        server = nullptr;
    }

    void TearDown() override {
        QApplication::processEvents();
        KeyValueStore::standard().remove("Setting");
        EXPECT_TRUE(KeyValueStore::standard().flush());
    }

    // When the shared connection came up and went down, counted from `origin`: a failure
    // tells whether the link was down when a frame should have gone out.
    static std::string linkHistory(test::ConnectionEvents::Clock::time_point origin) {
        std::string history;
        for (const auto& event : events->events()) {
            if (event.kind == test::ConnectionEvents::Kind::received) {
                continue;
            }
            const auto at =
                std::chrono::duration_cast<std::chrono::milliseconds>(event.at - origin).count();
            history += event.kind == test::ConnectionEvents::Kind::connected ? " connected "
                                                                             : " disconnected ";
            history += std::to_string(at) + ";";
        }
        return "the shared connection, in ms from the click:" + history;
    }

    // The server's answers to channelPriorityDodge: one per dodge frame that reached it.
    static int dodgeAnswers() {
        int count = 0;
        for (const auto& event : events->events()) {
            count += event.kind == test::ConnectionEvents::Kind::received &&
                     event.message == Message::channelPriorityDodge;
        }
        return count;
    }

    static inline test::ServerChild* server = nullptr;
    static inline std::shared_ptr<test::ConnectionEvents> events;
};

TEST_F(OverlaySignallingTest, TheDodgeValueGoesOutOncePerStoredWholeStep) {
    auto page = loadFromNib<SettingPage>();
    ASSERT_NE(page, nullptr);
    page->show();
    const int before = dodgeAnswers();

    page->dodgeSlider()->setDoubleValue(-2.5);
    ASSERT_TRUE(waitUntil([&] { return dodgeAnswers() == before + 1; }));
    EXPECT_EQ(Setting::load().channelDodge, -3);

    // Rounds to the stored value: nothing is sent. A frame sent after it shows that nothing
    // came before it.
    page->dodgeSlider()->setDoubleValue(-3.4);
    page->dodgeSlider()->setDoubleValue(-2.6);
    TCPSocket::shared().sendChannelDodge();
    ASSERT_TRUE(waitUntil([&] { return dodgeAnswers() == before + 2; }));
    test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(dodgeAnswers(), before + 2);

    // The input gain never goes to the server.
    page->inputEnhanceSlider()->setDoubleValue(7);
    TCPSocket::shared().sendChannelDodge();
    ASSERT_TRUE(waitUntil([&] { return dodgeAnswers() == before + 3; }));
    test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(dodgeAnswers(), before + 3);
}

TEST_F(OverlaySignallingTest, AClickCallsAnOnlineUserNoticesAnOfflineOneAndIgnoresOtherStates) {
    test::SignallingClient lina(6001);
    ASSERT_EQ(lina.bind(2, 1), 1);
    auto page = loadFromNib<ChatListPage>();
    ASSERT_NE(page, nullptr);
    page->resize(1047, 560);
    page->show();
    CollectionGrid* grid = page->collectionView();
    ASSERT_TRUE(waitUntil([&] { return grid->numberOfItems() == 4; }));
    auto button = [&](int row) {
        return static_cast<TTCollectionItem*>(grid->itemAt(row))->checkButton();
    };
    ASSERT_EQ(button(0)->text(), QStringLiteral("谈话"));
    ASSERT_EQ(button(1)->text(), QStringLiteral("呼叫"));
    const auto otherBefore = Chat::shared().other();

    // 王芳 comes online after the list was fetched: the offline call reaches her at once.
    test::SignallingClient wangfang(6001);
    ASSERT_EQ(wangfang.bind(3, 1), 1);
    const auto clicked = test::ConnectionEvents::Clock::now();
    QTest::mouseClick(button(1), Qt::LeftButton);
    std::vector<Frame> heard;
    const auto offline = wangfang.nextOf(Message::callOffline, &heard);
    ASSERT_TRUE(offline.has_value())
        << "王芳 heard " << heard.size() << " other frame(s); " << linkHistory(clicked);
    EXPECT_EQ(test::leadingInt(offline->payload), 1);
    EXPECT_EQ(test::textAfter(offline->payload, 4), "张伟");
    EXPECT_EQ(Chat::shared().other().has_value(), otherBefore.has_value());

    QTest::mouseClick(button(0), Qt::LeftButton);
    const auto online = lina.nextOf(Message::callOnline);
    ASSERT_TRUE(online.has_value());
    EXPECT_EQ(test::leadingInt(online->payload), 1);
    EXPECT_EQ(test::textAfter(online->payload, 4), "张伟");
    ASSERT_TRUE(Chat::shared().other().has_value());
    EXPECT_EQ(Chat::shared().other()->id, 2);
    EXPECT_EQ(Chat::shared().other()->name, "李娜");

    // A state that is neither online nor offline: nothing goes out.
    test::SignallingClient liuyang(6001);
    ASSERT_EQ(liuyang.bind(4, 1), 1);
    page->handleChatUserListResponse(
        api::JSONValue::parse(R"({"data":{"users":[{"id":4,"name":"刘洋","onlineStatus":2}]}})"));
    ASSERT_EQ(button(0)->text(), QStringLiteral("谈话"));
    QTest::mouseClick(button(0), Qt::LeftButton);
    test::waitUntil([] { return false; }, 300);
    for (const Frame& frame : liuyang.drain()) {
        EXPECT_NE(frame.type, Message::callOnline);
        EXPECT_NE(frame.type, Message::callOffline);
    }
    EXPECT_EQ(Chat::shared().other()->id, 2);
}

}  // namespace
}  // namespace intercom
