#include <QApplication>
#include <QIcon>
#include <filesystem>
#include <memory>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/EventLoopQueue.h"
#include "app/OpenApplication.h"
#include "app/OutageAlert.h"
#include "app/SignalQuitter.h"
#include "app/SingleInstance.h"
#include "audio/ReconnectTone.h"
#include "net/signalling/TCPSocket.h"
#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/audio/SdlAudio.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/PrivacyPolicyProcess.h"
#include "ui/Resources.h"

int main(int argc, char** argv) {
    if (intercom::answerInformationOptions(argc, argv)) {
        return 0;
    }
    const auto application = intercom::openApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("intercom"));
    // The desktop entry gives the task bar the client's name and icon; the window icon
    // stands in where the desktop does not look the entry up.
    QGuiApplication::setDesktopFileName(QStringLiteral("intercom"));
    intercom::ensureResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/intercom.svg")));
    // Closing the window keeps the client running; a later start brings the window back.
    QApplication::setQuitOnLastWindowClosed(false);
    const intercom::SignalQuitter quitter;

    intercom::SingleInstance instance(intercom::SingleInstance::defaultSocketPath());
    if (instance.handOverOrListen()) {
        return 0;
    }

    // A missing tone, page or program only shows much later, as silence or a window that
    // never opens.
    for (const std::string& name : intercom::Bundle::missingResources()) {
        intercom::logFailure("data file " + name + " is missing from " +
                             intercom::Bundle::resourceFolder().string());
    }
    const std::filesystem::path privacyProgram = intercom::privacyPolicyProgram();
    if (std::error_code error; !std::filesystem::is_regular_file(privacyProgram, error)) {
        intercom::logFailure("the privacy policy's program " + privacyProgram.string() +
                             " is missing");
    }

    // Started at launch, not at the first talk: reaching the sound server takes long enough
    // to clip the first words said.
    intercom::sdlaudio::start();
    intercom::dispatch::setMainQueue(std::make_shared<intercom::EventLoopQueue>());
    intercom::AppDelegate delegate;
    QObject::connect(&instance, &intercom::SingleInstance::reopenRequested, &delegate,
                     &intercom::AppDelegate::reopen);
    delegate.applicationDidFinishLaunching();
    intercom::installReconnectTone(intercom::TCPSocket::shared());
    intercom::OutageAlert outageAlert;
    outageAlert.install(intercom::TCPSocket::shared());
    const int status = QApplication::exec();
    intercom::dispatch::setMainQueue(nullptr);
    return status;
}
