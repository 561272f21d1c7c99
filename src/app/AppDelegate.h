#pragma once

#include <QObject>
#include <memory>

#include "app/MainWindow.h"

namespace intercom {

// Owns the client's one window for the life of the process, and names it as the main
// window over whose content the whole client's notices and alerts show.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    AppDelegate();
    ~AppDelegate() override;

    // The one delegate of the running application, or null before it exists.
    static AppDelegate* shared();

    // Null until launching has finished.
    MainWindow* window() const { return window_.get(); }

    // Builds the window with the first page as its content and shows it.
    void applicationDidFinishLaunching();
    // Brings the window back when nothing of the application is on screen; returns
    // whether it did.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // What a later start of the client asks of this one.
    void reopen();

  public slots:
    // Puts the home page in the sign-in page's place as the window's content, for the
    // rest of the process; the window keeps its size and settings.
    void showHomePage();

  private:
    std::unique_ptr<MainWindow> window_;
};

}  // namespace intercom
