#include <gtest/gtest.h>

#include "platform/Bundle.h"
#include "platform/audio/AudioPlayer.h"

using intercom::Bundle::pathForResource;

TEST(Bundle, FindsThePromptTonesOfTheBuildTree) {
    for (const char* name : {"talking_bee.wav", "call_bee.wav", "reconnect_bee.wav"}) {
        const auto path = pathForResource(name);
        ASSERT_TRUE(path) << name;
        EXPECT_EQ(path->filename(), name);
        EXPECT_TRUE(intercom::AudioPlayer::create(path->string())) << name << " is a wave file";
    }
    EXPECT_TRUE(intercom::Bundle::missingResources().empty());
}

TEST(Bundle, FindsNothingOutsideItsFolder) {
    EXPECT_FALSE(pathForResource("missing.wav"));
    EXPECT_FALSE(pathForResource(""));
    EXPECT_FALSE(pathForResource(".."));
    EXPECT_FALSE(pathForResource("../CMakeCache.txt"));
    EXPECT_FALSE(pathForResource("/etc/passwd"));
}
