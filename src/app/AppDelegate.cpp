#include "app/AppDelegate.h"

#include <QApplication>

#include "ui/CentreOnScreen.h"
#include "ui/MainContentView.h"
#include "ui/PrivacyPolicyProcess.h"
#include "ui/TTExtension.h"
#include "ui/pages/HomePage.h"
#include "ui/pages/LoginPage.h"

namespace intercom {

namespace {

AppDelegate* sharedDelegate = nullptr;

// The client's plain background: the content when the sign-in page cannot be built, and
// for now the signed-in content until the home page is built.
QWidget* makeBackground() {
    auto* page = new QWidget;
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, defaultButtonColor());
    page->setPalette(palette);
    return page;
}

}  // namespace

AppDelegate::AppDelegate() {
    sharedDelegate = this;
}

AppDelegate::~AppDelegate() {
    if (sharedDelegate == this) {
        sharedDelegate = nullptr;
    }
}

AppDelegate* AppDelegate::shared() {
    return sharedDelegate;
}

void AppDelegate::applicationDidFinishLaunching() {
    window_ = std::make_unique<MainWindow>();
    if (auto page = LoginPage::create()) {
        connect(page.get(), &LoginPage::signedIn, this, &AppDelegate::showHomePage);
        window_->setCentralWidget(page.release());
    } else {
        window_->setCentralWidget(makeBackground());
    }
    setMainWindow(window_.get());
    window_->setMinimumSize(1047, 560);
    window_->resize(window_->minimumSize());
    centreOnScreen(window_.get());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void AppDelegate::showHomePage() {
    // The sign-in page that asked for this is deleted once its reply handling has returned.
    if (auto page = HomePage::create()) {
        window_->setCentralWidget(page.release());
    }
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (hasVisibleWindows || !window_) {
        return false;
    }
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return true;
}

void AppDelegate::reopen() {
    // The privacy policy's windows are the client's own too, though another process draws them.
    bool visible = isPrivacyPolicyWindowOpen();
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        // A minimised window is not on screen, as on the platform this design comes from.
        visible = visible || (widget->isVisible() && !widget->isMinimized());
    }
    applicationShouldHandleReopen(visible);
}

}  // namespace intercom
