#include <QApplication>
#include <memory>

#include "app/AppDelegate.h"
#include "app/EventLoopQueue.h"
#include "app/OutageAlert.h"
#include "app/SingleInstance.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("intercom"));
    // Closing the window keeps the client running; a later start brings the window back.
    QApplication::setQuitOnLastWindowClosed(false);

    intercom::SingleInstance instance(intercom::SingleInstance::defaultSocketPath());
    if (instance.handOverOrListen()) {
        return 0;
    }

    intercom::dispatch::setMainQueue(std::make_shared<intercom::EventLoopQueue>());
    intercom::AppDelegate delegate;
    QObject::connect(&instance, &intercom::SingleInstance::reopenRequested, &delegate,
                     &intercom::AppDelegate::reopen);
    delegate.applicationDidFinishLaunching();
    intercom::OutageAlert outageAlert;
    outageAlert.install(intercom::TCPSocket::shared());
    const int status = QApplication::exec();
    intercom::dispatch::setMainQueue(nullptr);
    return status;
}
