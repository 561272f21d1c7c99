#include "ui/privacy/PrivatePolicyPage.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "platform/Bundle.h"
#include "ui/CentreOnScreen.h"

namespace intercom {

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 560;

}  // namespace

PrivatePolicyPage::PrivatePolicyPage(QWidget* parent)
    : QWidget(parent), webView_(new QWebEngineView(this)) {
    resize(kWidth, kHeight);
    // Edge to edge, through every resize of the window.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(webView_);
    connect(webView_, &QWebEngineView::loadFinished, this,
            &PrivatePolicyPage::webViewDidFinishLoad);
    loadPolicy();
}

void PrivatePolicyPage::loadPolicy() {
    const auto path = Bundle::pathForResource("privacy_policy.html");
    if (!path) {
        return;
    }
    webView_->load(QUrl::fromLocalFile(QString::fromStdString(path->string())));
}

void PrivatePolicyPage::webViewDidFinishLoad(bool ok) {
    if (!ok) {
        return;
    }
    // Chromium on the desktop ignores the text-size adjustment that mobile browsers know; the
    // body's font size is what it honours, and the page sizes all its text relative to it.
    webView_->page()->runJavaScript(
        QStringLiteral("document.getElementsByTagName('body')[0].style.fontSize = '240%'"));
}

PrivatePolicyPage* PrivatePolicyPage::openWindow() {
    auto* page = new PrivatePolicyPage;
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->setWindowTitle(QString());
    page->setMinimumSize(kWidth, kHeight);
    page->resize(kWidth, kHeight);
    page->show();
    // Centred with its frame, which the window system has only once the window is shown.
    centreOnScreen(page);
    page->raise();
    page->activateWindow();
    return page;
}

}  // namespace intercom
