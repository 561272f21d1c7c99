#include <gtest/gtest.h>

#include <QMainWindow>
#include <QProcess>
#include <QTest>
#include <thread>

#include "UiTestSupport.h"
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "support/TempDir.h"
#include "ui/MainContentView.h"
#include "ui/PrivacyPolicyProcess.h"

namespace intercom {
namespace {

using test::waitUntil;

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        delegate.applicationDidFinishLaunching();
        window = delegate.window();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }

    AppDelegate delegate;
    MainWindow* window = nullptr;
};

TEST_F(AppDelegateTest, ShowsOneUntitledWindowNoSmallerThanItsMinimum) {
    EXPECT_EQ(AppDelegate::shared(), &delegate);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowTitle().isEmpty());
    EXPECT_GE(window->width(), 1047);
    EXPECT_GE(window->height(), 560);
    ASSERT_NE(window->centralWidget(), nullptr);
    EXPECT_EQ(window->centralWidget()->geometry(), window->rect()) << "the page fills it";
    EXPECT_EQ(mainContentView(), window->centralWidget()) << "notices and alerts go there";
    window->resize(400, 300);
    EXPECT_EQ(window->size(), QSize(1047, 560));
}

TEST_F(AppDelegateTest, ReopenBringsTheClosedWindowBackAsItWas) {
    QWidget* page = window->centralWidget();
    window->close();
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(delegate.window(), window) << "closing keeps the window";

    EXPECT_FALSE(delegate.applicationShouldHandleReopen(true));
    EXPECT_FALSE(window->isVisible());
    delegate.reopen();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->centralWidget(), page);
}

TEST_F(AppDelegateTest, ReopenLeavesTheWindowClosedWhileAPrivacyPolicyWindowIsOpen) {
    window->close();
    QApplication::processEvents();
    openPrivacyPolicyWindow();
    const auto processes = QCoreApplication::instance()->findChildren<QProcess*>();
    ASSERT_EQ(processes.size(), 1);
    EXPECT_EQ(processes[0]->state(), QProcess::Running);
    delegate.reopen();
    EXPECT_FALSE(window->isVisible()) << "the policy's window is on screen";

    // Its user closes it.
    processes[0]->terminate();
    ASSERT_TRUE(waitUntil([] { return !isPrivacyPolicyWindowOpen(); }, 30000));
    delegate.reopen();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(AppDelegateTest, SecondStartHandsOverToTheRunningOne) {
    const test::TempDir runtime;
    const QString socket = QString::fromStdString(runtime.path().string()) + "/app.sock";
    SingleInstance running(socket);
    ASSERT_FALSE(running.handOverOrListen()) << "the first start runs";
    QObject::connect(&running, &SingleInstance::reopenRequested, &delegate, &AppDelegate::reopen);
    window->close();

    std::atomic<bool> done{false};
    std::atomic<bool> handedOver{false};
    std::thread secondStart([&] {
        SingleInstance second(socket);
        handedOver = second.handOverOrListen();
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    secondStart.join();
    EXPECT_TRUE(handedOver);
    EXPECT_TRUE(waitUntil([&] { return window->isVisible(); }));
}

TEST_F(AppDelegateTest, DraggingTheBackgroundMovesTheWindow) {
    QWidget* page = window->centralWidget();
    const QPoint before = window->pos();
    const QPoint grab(20, 20);
    test::sendMouse(page, QEvent::MouseButtonPress, 1000, grab);
    QMouseEvent move(QEvent::MouseMove, grab + QPoint(50, 30),
                     page->mapToGlobal(grab) + QPoint(50, 30), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(page, &move);
    test::sendMouse(page, QEvent::MouseButtonRelease, 1100, grab + QPoint(50, 30));
    EXPECT_EQ(window->pos(), before + QPoint(50, 30));
}

}  // namespace
}  // namespace intercom
