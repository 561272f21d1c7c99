#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioQueueRecorder.h"
#include "audio/Beep.h"
#include "model/Setting.h"

// This process runs with an audio driver that does not exist: the same as a desktop with
// no sound server and no card. Nothing may crash, and each device that cannot be opened is
// logged once with the reason.

using intercom::AudioQueue;
using intercom::AudioQueuePlayer;
using intercom::AudioQueueRecorder;
using intercom::Bytes;

namespace {
void noCallback(void*, AudioQueue*, intercom::AudioQueueBuffer*) {}
}  // namespace

TEST(NoAudioDevice, QueuesCannotBeCreated) {
    EXPECT_FALSE(AudioQueue::newInput(&noCallback, nullptr));
    EXPECT_FALSE(AudioQueue::newOutput(&noCallback, nullptr));
}

TEST(NoAudioDevice, ADeviceThatCannotOpenIsLoggedOnceWithItsReason) {
    ::testing::internal::CaptureStderr();
    auto recorder = AudioQueueRecorder::create([](const Bytes&) {});
    EXPECT_FALSE(recorder->start());
    const AudioQueuePlayer player;
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(log.find("intercom: microphone cannot be opened: "), 0U) << log;
    EXPECT_NE(log.find("\nintercom: speaker cannot be opened: "), std::string::npos) << log;
    EXPECT_NE(log.find("no-such-driver"), std::string::npos) << "SDL's reason: " << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST(NoAudioDevice, RecorderNeverCaptures) {
    intercom::Setting setting;
    setting.isSidetoneBlocking = false;
    setting.isSpeakingBeep = true;
    ASSERT_TRUE(setting.save());

    bool called = false;
    auto recorder = AudioQueueRecorder::create([&](const Bytes&) { called = true; });
    EXPECT_FALSE(recorder->isOpen());
    EXPECT_EQ(recorder->bufferCount(), 0U);
    EXPECT_FALSE(recorder->start());
    EXPECT_FALSE(recorder->isDraining());
    EXPECT_FALSE(recorder->hasSidetone());
    EXPECT_FALSE(intercom::Beep::shared().player()) << "no tone for a talk that never began";
    recorder->startSidetone();
    EXPECT_FALSE(recorder->hasSidetone());
    recorder->stop();
    recorder->stopSidetone();
    EXPECT_FALSE(called);
}

TEST(NoAudioDevice, PlayerStillQueuesAndStaysSilent) {
    AudioQueuePlayer player;
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(player.bufferCount(), 0U);
    EXPECT_FALSE(player.start());
    player.play(Bytes(64, 0x3C));
    EXPECT_EQ(player.waitingBlocks().size(), 1U);
    player.stop();
}

TEST(NoAudioDevice, TonesFailQuietly) {
    intercom::Setting setting;
    setting.isReconnectBeep = true;
    setting.isCallingRing = true;
    ASSERT_TRUE(setting.save());
    auto& beep = intercom::Beep::shared();
    beep.playReconnectBeep();
    beep.playCallingRing();
    if (const auto held = beep.player()) {
        EXPECT_FALSE(held->isPlaying());
    }
    beep.dropPlayer();
    EXPECT_FALSE(beep.player());
}
