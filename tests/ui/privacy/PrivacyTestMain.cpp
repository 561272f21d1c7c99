#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/privacy/WebEngineEnvironment.h"
#include "support/TempDir.h"
#include "support/TestIsolation.h"
#include "support/WaitUntil.h"

// Chromium inside Qt WebEngine frees some of its objects with a sized delete of another type;
// AddressSanitizer would stop the tests there.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}

// Replaces the support library's main: the window needs a QApplication made after the web
// engine's environment, and each process still gets a private configuration folder.
int main(int argc, char** argv) {
    const intercom::test::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    // Test discovery runs at build time, where no platform may be set.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // On a desktop's display the offscreen platform would draw through GLX and load a GL
    // driver, whose allocations LeakSanitizer cannot name once it is unloaded at exit; the
    // window is drawn in software there too, as on a machine without a display.
    ::setenv("QT_QPA_OFFSCREEN_NO_GLX", "1", 0);
    ::testing::InitGoogleTest(&argc, argv);
    intercom::prepareWebEngineEnvironment();
    QApplication app(argc, argv);
    intercom::test::isolateTests();
    // The events run between two checks, and then the thread sleeps a little rather than spin:
    // a test waiting in a busy loop takes a core from the threads it waits for.
    intercom::test::setWaitStep([] {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    return RUN_ALL_TESTS();
}
