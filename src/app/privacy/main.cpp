// The privacy policy's window, a program of its own that the client starts for each click on
// its link: the web engine, and the GL driver that it loads, stay out of the client.

#include <QApplication>
#include <QIcon>
#include <filesystem>

#include "app/OpenApplication.h"
#include "app/privacy/WebEngineEnvironment.h"
#include "platform/Log.h"
#include "ui/privacy/PrivatePolicyPage.h"

// Chromium inside Qt WebEngine frees some of its objects with a sized delete of another type;
// in a build with AddressSanitizer that would end the program as its window closes.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}

int main(int argc, char** argv) {
    // The client passes on the failure lines that begin with this program's name.
    if (argc > 0) {
        intercom::setLogProgramName(std::filesystem::path(argv[0]).filename().string());
    }
    intercom::prepareWebEngineEnvironment();
    const auto application = intercom::openApplication(argc, argv);
    // The client's name, desktop entry and icon: the desktop shows the window as the client's.
    QApplication::setApplicationName(QStringLiteral("intercom"));
    QGuiApplication::setDesktopFileName(QStringLiteral("intercom"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/intercom.svg")));
    intercom::PrivatePolicyPage::openWindow();
    return QApplication::exec();
}
