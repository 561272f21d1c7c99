#include "app/OpenApplication.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Log.h"

namespace intercom {

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string file;
    int line;
    std::string function;
    std::string category;
    QString text;
};

std::mutex heldMutex;
std::vector<HeldMessage> held;

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') {
        return std::string(name) + " not set";
    }
    return std::string(name) + "=" + value;
}

// What Qt reads to find the display: the platform that it is told to use, the Wayland
// display when one is named, and the X display.
std::string triedDisplays() {
    std::string tried;
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            tried += variable(name) + ", ";
        }
    }
    return tried + variable("DISPLAY");
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // Qt's one fatal message while the application is made: no platform plugin, and so no
    // display, could be opened.
    if (type == QtFatalMsg) {
        logFailure("no display could be opened (" + triedDisplays() + ")");
        std::_Exit(1);
    }
    const auto copy = [](const char* text) { return std::string(text != nullptr ? text : ""); };
    const std::lock_guard lock(heldMutex);
    held.push_back({type, copy(context.file), context.line, copy(context.function),
                    copy(context.category), text});
}

}  // namespace

std::unique_ptr<QApplication> openApplication(int& argc, char** argv) {
    const QtMessageHandler previous = qInstallMessageHandler(holdMessage);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    std::vector<HeldMessage> messages;
    {
        const std::lock_guard lock(heldMutex);
        messages.swap(held);
    }
    for (const HeldMessage& message : messages) {
        const QMessageLogContext context(message.file.c_str(), message.line,
                                         message.function.c_str(), message.category.c_str());
        previous(message.type, context, message.text);
    }
    return application;
}

}  // namespace intercom
