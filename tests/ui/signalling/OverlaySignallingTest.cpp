#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "ConnectionEvents.h"
#include "ServerChild.h"
#include "UiTestSupport.h"
#include "app/EventLoopQueue.h"
#include "model/Setting.h"
#include "model/UserInfo.h"
#include "net/signalling/TCPSocket.h"
#include "platform/KeyValueStore.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/TTExtension.h"
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

}  // namespace
}  // namespace intercom
