#include <gtest/gtest.h>

#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "ui/MainContentView.h"
#include "ui/controls/FNHUD.h"

namespace intercom {
namespace {

TEST(MainContentView, NoticesAndOverlaysGoOverTheContentOfTheNamedWindow) {
    auto overlay = std::make_unique<QWidget>();
    ASSERT_EQ(mainContentView(), nullptr);
    showNoticeInMainWindow(QStringLiteral("无窗口"));
    EXPECT_TRUE(FNHUD::hudViews().isEmpty());
    EXPECT_FALSE(showOverMainWindow(overlay.get()));
    EXPECT_EQ(overlay->parentWidget(), nullptr);

    auto window = std::make_unique<QMainWindow>();
    window->resize(1047, 560);
    window->setCentralWidget(new QWidget);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    setMainWindow(window.get());
    EXPECT_EQ(mainContentView(), window->centralWidget());

    // A page that replaces the content takes the notices and overlays from then on.
    auto* page = new QWidget;
    auto* pageButton = new QLabel(QStringLiteral("页面"), page);
    window->setCentralWidget(page);
    showNoticeInMainWindow(QStringLiteral("提示"));
    ASSERT_FALSE(FNHUD::hudViews().isEmpty());
    EXPECT_EQ(FNHUD::hudViews().last()->parentWidget(), page);
    EXPECT_EQ(FNHUD::hudViews().last()->findChild<QLabel*>()->text(), QStringLiteral("提示"));

    ASSERT_TRUE(showOverMainWindow(overlay.get()));
    QWidget* shown = overlay.release();
    EXPECT_EQ(shown->parentWidget(), page);
    EXPECT_TRUE(test::waitUntil([&] { return shown->isVisible(); }));
    EXPECT_EQ(shown->geometry(), page->rect());
    EXPECT_EQ(page->childAt(pageButton->geometry().center()), shown) << "on top of the page";
    window->resize(1200, 700);
    ASSERT_TRUE(test::waitUntil([&] { return shown->geometry() == page->rect(); }));

    window.reset();
    EXPECT_EQ(mainContentView(), nullptr) << "a destroyed window is no main window";
    setMainWindow(nullptr);
}

}  // namespace
}  // namespace intercom
