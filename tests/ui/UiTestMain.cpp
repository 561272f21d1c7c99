#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/TempDir.h"
#include "support/TestIsolation.h"
#include "support/WaitUntil.h"

// Replaces the support library's main: the widget tests need a QApplication, and each
// process still gets a private configuration folder.
int main(int argc, char** argv) {
    const intercom::test::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    // Test discovery runs at build time, where no platform may be set.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Widgets that ring or talk play through SDL's disk driver, never a sound card.
    ::setenv("SDL_AUDIODRIVER", "disk", 0);
    ::testing::InitGoogleTest(&argc, argv);
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
