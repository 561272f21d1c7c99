#include <QApplication>
#include <memory>

#include "app/AppDelegate.h"
#include "app/EventLoopQueue.h"
#include "app/SignalQuitter.h"
#include "app/SingleInstance.h"
#include "platform/audio/SdlAudio.h"
#include "platform/dispatch/MainQueue.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("intercom"));
    // Closing the window keeps the client running; a later start brings the window back.
    QApplication::setQuitOnLastWindowClosed(false);
    const intercom::SignalQuitter quitter;

    intercom::SingleInstance instance(intercom::SingleInstance::defaultSocketPath());
    if (instance.handOverOrListen()) {
        return 0;
    }

    // Started at launch, not at the first talk: reaching the sound server takes long enough
    // to clip the first words said.
    intercom::sdlaudio::start();
    intercom::dispatch::setMainQueue(std::make_shared<intercom::EventLoopQueue>());
    intercom::AppDelegate delegate;
    QObject::connect(&instance, &intercom::SingleInstance::reopenRequested, &delegate,
                     &intercom::AppDelegate::reopen);
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    intercom::dispatch::setMainQueue(nullptr);
    return status;
}
