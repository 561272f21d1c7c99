#include "ui/PrivacyPolicyProcess.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <csignal>
#include <string>

#include "platform/Bundle.h"
#include "platform/Log.h"

namespace intercom {

namespace {

// Main thread only, like the clicks that start the windows.
int openWindows = 0;

// Longer than any failure line of the program's own; a line that grows past it is the web
// engine's and is dropped unread.
constexpr qint64 kLongestOwnLine = 64 * 1024;

// The program's standard error carries the web engine's start-up notes, from the program and
// from the helper processes that inherit it. Only the program's own failure lines, which
// begin with its name, go on to the client's log.
void forwardOwnFailures(QProcess* process, const QByteArray& ownPrefix, bool atEnd) {
    while (process->canReadLine() || (atEnd && process->bytesAvailable() > 0)) {
        const QByteArray line = process->readLine().trimmed();
        if (line.startsWith(ownPrefix)) {
            logFailure(line.toStdString());
        }
    }
    if (process->bytesAvailable() > kLongestOwnLine) {
        process->readAll();
    }
}

}  // namespace

std::filesystem::path privacyPolicyProgram() {
    return Bundle::programPath(INTERCOM_PRIVACY_PROGRAM);
}

void openPrivacyPolicyWindow() {
    const std::filesystem::path program = privacyPolicyProgram();
    // Held by the application, so that the window's process ends when the client quits.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(QString::fromStdString(program.string()));
    const pid_t client = ::getpid();
    process->setChildProcessModifier([client] {
        // A client that is killed or crashes cannot end the window, so the kernel does, when
        // the thread that started it ends: the main thread, which lives as long as the
        // client. A client that ended before this ran is no longer the parent.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != client) {
            ::_exit(1);
        }
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setReadChannel(QProcess::StandardError);
    const QByteArray ownPrefix = QByteArray(INTERCOM_PRIVACY_PROGRAM) + ": ";
    QObject::connect(process, &QProcess::readyReadStandardError, process,
                     [process, ownPrefix] { forwardOwnFailures(process, ownPrefix, false); });
    process->start();
    if (!process->waitForStarted()) {
        logFailure("the privacy policy could not be opened: " + program.string() + ": " +
                   process->errorString().toStdString());
        delete process;
        return;
    }
    ++openWindows;
    QObject::connect(process, &QProcess::finished, process, [process, ownPrefix] {
        forwardOwnFailures(process, ownPrefix, true);
        --openWindows;
        process->deleteLater();
    });
}

bool isPrivacyPolicyWindowOpen() {
    return openWindows > 0;
}

}  // namespace intercom
