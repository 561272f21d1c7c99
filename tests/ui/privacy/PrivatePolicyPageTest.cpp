#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <vector>

#include "platform/Bundle.h"
#include "support/WaitUntil.h"
#include "ui/privacy/PrivatePolicyPage.h"

namespace intercom {
namespace {

using test::waitUntil;

// The result of a script run in the view's page, once it has one.
QVariant evaluate(QWebEngineView* view, const QString& script) {
    QVariant value;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant& result) {
        value = result;
        done = true;
    });
    waitUntil([&] { return done; });
    return value;
}

// The median height in pixels of the lines of text that the view draws: the runs of pixel
// rows that hold ink (the page's dark text on its light background). 0 without text.
int medianLineHeight(QWebEngineView* view) {
    const QImage image = view->grab().toImage();
    // The scroll bar at the right edge is not text.
    const int width = image.width() - 24;
    std::vector<int> heights;
    int run = 0;
    for (int y = 0; y <= image.height(); ++y) {
        bool ink = false;
        for (int x = 0; y < image.height() && x < width && !ink; ++x) {
            ink = qGray(image.pixel(x, y)) < 128;
        }
        if (ink) {
            ++run;
        } else if (run > 0) {
            heights.push_back(run);
            run = 0;
        }
    }
    if (heights.size() < 3) {
        return 0;
    }
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

// The policy as the page itself draws it, without the window's enlargement.
int plainLineHeight() {
    QWebEngineView plain;
    plain.resize(1000, 560);
    plain.show();
    bool loaded = false;
    QObject::connect(&plain, &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
    const auto path = Bundle::pathForResource("privacy_policy.html");
    EXPECT_TRUE(path);
    plain.load(QUrl::fromLocalFile(QString::fromStdString(path ? path->string() : "")));
    EXPECT_TRUE(waitUntil([&] { return loaded; }, 30000));
    int height = 0;
    EXPECT_TRUE(waitUntil([&] { return (height = medianLineHeight(&plain)) > 0; }, 30000));
    return height;
}

TEST(PrivatePolicyPage, OpensCentredAtItsSizeAndShowsThePolicyInTextEnlargedAfterEachLoad) {
    const int plainHeight = plainLineHeight();
    ASSERT_GT(plainHeight, 5);

    QPointer<PrivatePolicyPage> window = PrivatePolicyPage::openWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->windowTitle().isEmpty());
    EXPECT_EQ(window->size(), QSize(1000, 560));
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((window->frameGeometry().center() - screenCentre).manhattanLength(), 1);
    bool loaded = false;
    QObject::connect(window->webView(), &QWebEngineView::loadFinished,
                     [&](bool ok) { loaded = ok; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }, 30000));
    EXPECT_TRUE(evaluate(window->webView(), QStringLiteral("document.body.innerText"))
                    .toString()
                    .contains(QStringLiteral("发送到服务器的信息")));

    // The drawn lines of text grow to 240 % of the page's own.
    int enlargedHeight = 0;
    EXPECT_TRUE(waitUntil(
        [&] {
            enlargedHeight = medianLineHeight(window->webView());
            return enlargedHeight >= 2 * plainHeight;
        },
        30000));
    EXPECT_NEAR(static_cast<double>(enlargedHeight) / plainHeight, 2.4, 0.4)
        << enlargedHeight << " px against " << plainHeight << " px";

    // A new load of the page is enlarged again.
    loaded = false;
    window->webView()->reload();
    ASSERT_TRUE(waitUntil([&] { return loaded; }, 30000));
    const QString fontSize = QStringLiteral("getComputedStyle(document.body).fontSize");
    EXPECT_TRUE(waitUntil(
        [&] { return evaluate(window->webView(), fontSize).toString() == "38.4px"; }, 30000))
        << evaluate(window->webView(), fontSize).toString().toStdString();

    // The window refuses to shrink below its size, and the web view follows a larger one.
    window->resize(600, 300);
    EXPECT_EQ(window->size(), QSize(1000, 560));
    window->resize(1200, 700);
    QApplication::processEvents();
    EXPECT_EQ(window->webView()->geometry(), QRect(0, 0, 1200, 700));

    // Closing the window disposes of it.
    window->close();
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull();
    }));
}

}  // namespace
}  // namespace intercom
