#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "OverlayTestSupport.h"
#include "ui/TTExtension.h"
#include "ui/pages/PrivatePolicyPage.h"
#include "ui/pages/SettingPage.h"

namespace intercom {
namespace {

using test::waitUntil;

QList<PrivatePolicyPage*> policyWindows() {
    QList<PrivatePolicyPage*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* page = qobject_cast<PrivatePolicyPage*>(widget); page && page->isVisible()) {
            windows << page;
        }
    }
    return windows;
}

// The page's text as the web engine has it, once it has some.
QString pageText(QWebEngineView* view) {
    QString text;
    bool done = false;
    view->page()->toPlainText([&](const QString& result) {
        text = result;
        done = true;
    });
    waitUntil([&] { return done; });
    return text;
}

TEST(PrivatePolicyPage, EachClickOnTheLinkOpensOneMoreCentredWindowWithThePolicy) {
    auto settings = loadFromNib<SettingPage>();
    ASSERT_NE(settings, nullptr);
    settings->resize(1047, 560);
    settings->show();
    ASSERT_TRUE(policyWindows().isEmpty());

    QTest::mouseClick(settings->pliocyView(), Qt::LeftButton);
    QTest::mouseClick(settings->pliocyView(), Qt::LeftButton);
    QTest::mouseClick(settings->pliocyView(), Qt::RightButton);
    const QList<PrivatePolicyPage*> windows = policyWindows();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_NE(windows[0]->webView(), windows[1]->webView());
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    for (PrivatePolicyPage* window : windows) {
        EXPECT_EQ(window->size(), QSize(1000, 560));
        EXPECT_LE((window->frameGeometry().center() - screenCentre).manhattanLength(), 1);
    }

    // The window refuses to shrink below its size, and the web view follows a larger one.
    PrivatePolicyPage* window = windows[0];
    window->resize(600, 300);
    EXPECT_EQ(window->size(), QSize(1000, 560));
    window->resize(1200, 700);
    QApplication::processEvents();
    EXPECT_EQ(window->webView()->geometry(), QRect(0, 0, 1200, 700));

    ASSERT_TRUE(waitUntil(
        [&] { return pageText(window->webView()).contains("发送到服务器的信息"); }, 30000));
    EXPECT_TRUE(pageText(window->webView()).contains("保存在本机的信息"));

    // Closing a window disposes of it; the settings overlay keeps no reference.
    QPointer<PrivatePolicyPage> closed = window;
    window->close();
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return closed.isNull();
    }));
    for (PrivatePolicyPage* open : policyWindows()) {
        delete open;
    }
}

}  // namespace
}  // namespace intercom
