#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <memory>

#include "UiTestSupport.h"
#include "app/AppDelegate.h"
#include "app/EventLoopQueue.h"
#include "app/OutageAlert.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/MainContentView.h"
#include "ui/controls/FNHUD.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

class OutageAlertTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dispatch::setMainQueue(std::make_shared<EventLoopQueue>());
        delegate_.applicationDidFinishLaunching();
        window_ = delegate_.window();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }
    void TearDown() override { dispatch::setMainQueue(nullptr); }

    int panelsOnWindow() const {
        return static_cast<int>(window_->findChildren<TTCustomAlert*>().size());
    }
    bool panelUp() const {
        return alert_.panel() && alert_.panel()->parentWidget() == mainContentView() &&
               alert_.panel()->isVisible();
    }

    AppDelegate delegate_;
    MainWindow* window_ = nullptr;
    OutageAlert alert_;
};

TEST_F(OutageAlertTest, CoversTheWholeContentWithTheRedTitledNoticeOnce) {
    alert_.showAlert();
    alert_.showAlert();
    ASSERT_TRUE(panelUp());
    EXPECT_EQ(panelsOnWindow(), 1);
    TTCustomAlert* panel = alert_.panel();
    QWidget* content = mainContentView();
    EXPECT_EQ(content->geometry(), window_->rect());
    EXPECT_EQ(panel->geometry(), content->rect());
    window_->resize(1200, 700);
    EXPECT_TRUE(waitUntil([&] { return panel->geometry() == content->rect(); }));
    EXPECT_EQ(window_->childAt(window_->rect().center() + QPoint(0, 200)), panel)
        << "nothing underneath can be reached";

    EXPECT_EQ(panel->titleLabel()->text(), QStringLiteral("监测到您的通话已断开"));
    EXPECT_EQ(panel->contentLabel()->text(), QStringLiteral("请等待重新连接"));
    EXPECT_EQ(panel->singleBtn()->text(), QStringLiteral("知道了"));
    EXPECT_TRUE(panel->singleBtn()->isVisible());
    EXPECT_FALSE(panel->bottomView()->isVisible());
    panel->titleLabel()->ensurePolished();
    EXPECT_EQ(panel->titleLabel()->palette().color(QPalette::WindowText), QColor(Qt::red));

    alert_.hideAlert();
    alert_.hideAlert();
    EXPECT_EQ(panel->parentWidget(), nullptr);
    EXPECT_EQ(panelsOnWindow(), 0);
}

// The panel is the content view's last subview, like every panel over the whole client:
// what is posted there afterwards comes above it. Without a content view there is nowhere
// to put it.
TEST_F(OutageAlertTest, SitsOnTheContentViewBelowLaterNoticesAndNeedsOne) {
    std::unique_ptr<QWidget> content(window_->takeCentralWidget());
    ASSERT_TRUE(content);
    alert_.showAlert();
    EXPECT_EQ(alert_.panel()->parentWidget(), nullptr);
    EXPECT_FALSE(alert_.panel()->isVisible());
    EXPECT_EQ(panelsOnWindow(), 0);

    window_->setCentralWidget(content.release());
    alert_.showAlert();
    // A content view put into a window on screen is shown once the events have run.
    ASSERT_TRUE(waitUntil([&] { return panelUp(); }));
    // Its last subview: the window's layout may hang a geometry animation of its own on the
    // content view for a while, which is a child but no view.
    const auto subviews = mainContentView()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_FALSE(subviews.isEmpty());
    EXPECT_EQ(subviews.last(), alert_.panel());
    showNoticeInMainWindow(QStringLiteral("屏幕已锁定"));
    const QList<QWidget*> notices = FNHUD::hudViews();
    ASSERT_FALSE(notices.isEmpty());
    QWidget* notice = notices.last();
    ASSERT_TRUE(waitUntil([&] { return notice->isVisible(); }));
    const QPoint inNotice = notice->mapTo(window_, notice->rect().center());
    QWidget* onTop = window_->childAt(inNotice);
    EXPECT_TRUE(onTop == notice || notice->isAncestorOf(onTop))
        << "on top: " << (onTop ? onTop->metaObject()->className() : "nothing");
    FNHUD::hide();
}

// The connection's announcements drive the panel; a user who closes it is left alone for
// the rest of that sequence, and the next sequence shows it again.
TEST_F(OutageAlertTest, FollowsTheReconnectSequenceAndStaysClosedOnceTheUserClosesIt) {
    TCPSocket socket("127.0.0.1", 9, {.firstReconnectDelay = 1h, .reconnectInterval = 1h});
    alert_.install(socket);

    socket.startReconnect();
    ASSERT_TRUE(waitUntil([&] { return panelUp(); }));
    QTest::mouseClick(alert_.panel()->singleBtn(), Qt::LeftButton);
    EXPECT_FALSE(panelUp());

    socket.startReconnect();
    QTest::qWait(100);
    EXPECT_FALSE(panelUp()) << "the same sequence does not bring it back";

    socket.stopReconnect();
    socket.startReconnect();
    EXPECT_TRUE(waitUntil([&] { return panelUp(); }));
    EXPECT_EQ(panelsOnWindow(), 1);
    socket.stopReconnect();
    EXPECT_TRUE(waitUntil([&] { return !panelUp(); }));
}

}  // namespace
}  // namespace intercom
