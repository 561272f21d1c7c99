#include "ui/PrivacyPolicyProcess.h"

#include <QCoreApplication>
#include <QProcess>
#include <string>

#include "platform/Bundle.h"
#include "platform/Log.h"

namespace intercom {

namespace {

// Main thread only, like the clicks that start the windows.
int openWindows = 0;

}  // namespace

std::filesystem::path privacyPolicyProgram() {
    return Bundle::programPath(INTERCOM_PRIVACY_PROGRAM);
}

void openPrivacyPolicyWindow() {
    const std::filesystem::path program = privacyPolicyProgram();
    // Held by the application, so that the window's process ends when the client does.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(QString::fromStdString(program.string()));
    // The web engine's notes go where the client's own go; nothing collects them unread.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start();
    if (!process->waitForStarted()) {
        logFailure("the privacy policy could not be opened: " + program.string() + ": " +
                   process->errorString().toStdString());
        delete process;
        return;
    }
    ++openWindows;
    QObject::connect(process, &QProcess::finished, process, [process] {
        --openWindows;
        process->deleteLater();
    });
}

bool isPrivacyPolicyWindowOpen() {
    return openWindows > 0;
}

}  // namespace intercom
