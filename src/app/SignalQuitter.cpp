#include "app/SignalQuitter.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "platform/Log.h"

namespace intercom {

namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int /*signal*/) {
    const int saved = errno;
    const char byte = 1;
    // Nothing else is safe in a handler; a full pipe already holds a quit.
    [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalQuitter::SignalQuitter(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        logFailure(std::string("SIGINT and SIGTERM cannot be handled: ") + std::strerror(errno));
        return;
    }
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalQuitter::quit);
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

SignalQuitter::~SignalQuitter() {
    if (notifier_ == nullptr) {
        return;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void SignalQuitter::quit() {
    char bytes[64];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
}

}  // namespace intercom
