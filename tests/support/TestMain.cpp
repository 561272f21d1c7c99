#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempDir.h"
#include "support/TestIsolation.h"

int main(int argc, char** argv) {
    // Before anything opens the process-wide store: it must land in a folder of its own.
    const intercom::test::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    intercom::test::isolateTests();
    return RUN_ALL_TESTS();
}
