#include "ui/MainContentView.h"

#include <QMainWindow>
#include <QPointer>

#include "ui/EdgePin.h"
#include "ui/TTExtension.h"

namespace intercom {

namespace {

// Main thread only, like every widget.
QPointer<QMainWindow>& mainWindow() {
    static QPointer<QMainWindow> window;
    return window;
}

}  // namespace

void setMainWindow(QMainWindow* window) {
    mainWindow() = window;
}

QWidget* mainContentView() {
    QMainWindow* window = mainWindow();
    return window ? window->centralWidget() : nullptr;
}

void showNoticeInMainWindow(const QString& text) {
    if (QWidget* content = mainContentView()) {
        makeToast(content, text);
    }
}

bool showOverMainWindow(QWidget* view) {
    QWidget* content = mainContentView();
    if (!content || !view) {
        return false;
    }
    view->setParent(content);
    pinEdgesToSuperview(view);
    view->show();
    view->raise();
    return true;
}

}  // namespace intercom
