#include "app/privacy/WebEngineEnvironment.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace intercom {

namespace {

bool hasRenderNode() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error)) {
        if (entry.path().filename().string().starts_with("renderD")) {
            return true;
        }
    }
    return false;
}

}  // namespace

void prepareWebEngineEnvironment() {
    if (::geteuid() == 0) {
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    }
    if (!hasRenderNode()) {
        std::string flags;
        if (const char* given = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS")) {
            flags = given;
        }
        if (flags.find("--disable-gpu") == std::string::npos) {
            flags += flags.empty() ? "--disable-gpu" : " --disable-gpu";
            ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
        }
    }
    // The web engine shares its GL contexts with the widgets; it must be said before the
    // application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

}  // namespace intercom
