#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

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
    intercom::test::setWaitStep([] { QApplication::processEvents(QEventLoop::AllEvents, 20); });
    return RUN_ALL_TESTS();
}
