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
        delegate_.applicationDidFinishLaunching();
        window_ = delegate_.window();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }

    AppDelegate delegate_;
    MainWindow* window_ = nullptr;
};

TEST_F(AppDelegateTest, ShowsOneUntitledWindowNoSmallerThanItsMinimum) {
    EXPECT_EQ(AppDelegate::shared(), &delegate_);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(window_->windowTitle().isEmpty());
    EXPECT_GE(window_->width(), 1047);
    EXPECT_GE(window_->height(), 560);
    ASSERT_NE(window_->centralWidget(), nullptr);
    EXPECT_EQ(window_->centralWidget()->geometry(), window_->rect()) << "the page fills it";
    EXPECT_EQ(mainContentView(), window_->centralWidget()) << "notices and alerts go there";
    window_->resize(400, 300);
    EXPECT_EQ(window_->size(), QSize(1047, 560));
}

TEST_F(AppDelegateTest, ReopenBringsTheClosedWindowBackAsItWas) {
    QWidget* page = window_->centralWidget();
    window_->close();
    QApplication::processEvents();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(delegate_.window(), window_) << "closing keeps the window";

    EXPECT_FALSE(delegate_.applicationShouldHandleReopen(true));
    EXPECT_FALSE(window_->isVisible());
    delegate_.reopen();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->centralWidget(), page);
}

TEST_F(AppDelegateTest, ReopenLeavesTheWindowClosedWhileAPrivacyPolicyWindowIsOpen) {
    window_->close();
    QApplication::processEvents();
    openPrivacyPolicyWindow();
    const auto processes = QCoreApplication::instance()->findChildren<QProcess*>();
    ASSERT_EQ(processes.size(), 1);
    EXPECT_EQ(processes[0]->state(), QProcess::Running);
    delegate_.reopen();
    EXPECT_FALSE(window_->isVisible()) << "the policy's window is on screen";

    // Its user closes it.
    processes[0]->terminate();
    ASSERT_TRUE(waitUntil([] { return !isPrivacyPolicyWindowOpen(); }, 30000));
    delegate_.reopen();
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(AppDelegateTest, SecondStartHandsOverToTheRunningOne) {
    const test::TempDir runtime;
    const QString socket = QString::fromStdString(runtime.path().string()) + "/app.sock";
    SingleInstance running(socket);
    ASSERT_FALSE(running.handOverOrListen()) << "the first start runs";
    QObject::connect(&running, &SingleInstance::reopenRequested, &delegate_, &AppDelegate::reopen);
    window_->close();

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
    EXPECT_TRUE(waitUntil([&] { return window_->isVisible(); }));
}

TEST_F(AppDelegateTest, DraggingTheBackgroundMovesTheWindow) {
    QWidget* page = window_->centralWidget();
    const QPoint before = window_->pos();
    const QPoint grab(20, 20);
    test::sendMouse(page, QEvent::MouseButtonPress, 1000, grab);
    QMouseEvent move(QEvent::MouseMove, grab + QPoint(50, 30),
                     page->mapToGlobal(grab) + QPoint(50, 30), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(page, &move);
    test::sendMouse(page, QEvent::MouseButtonRelease, 1100, grab + QPoint(50, 30));
    EXPECT_EQ(window_->pos(), before + QPoint(50, 30));
}

}  // namespace
}  // namespace intercom
