#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioQueueRecorder.h"
#include "platform/audio/VoiceFormat.h"
#include "support/WaitUntil.h"

// This process runs on SDL's dummy driver, which keeps one device each way, as a sound card
// without a mixer does: a device opens only once the one before it has closed, and a dropped
// device closes on a thread of its own.

using intercom::AudioQueuePlayer;
using intercom::AudioQueueRecorder;
using intercom::Bytes;
using intercom::VoiceFormat;
using intercom::test::waitUntil;

TEST(OneDeviceEachWay, ATalkRightAfterAnotherOpensTheDevicesTheLastIsStillClosing) {
    std::atomic<int> first{0};
    auto recorder = AudioQueueRecorder::create([&first](const Bytes&) { ++first; });
    ASSERT_TRUE(recorder->start());
    ASSERT_TRUE(waitUntil([&] { return first >= 3; }));
    recorder->stop();
    recorder.reset();
    std::atomic<int> second{0};
    recorder = AudioQueueRecorder::create([&second](const Bytes&) { ++second; });
    ASSERT_TRUE(recorder->isOpen()) << "the next talk's microphone did not open";
    ASSERT_TRUE(recorder->start());
    EXPECT_TRUE(waitUntil([&] { return second >= 3; })) << "the next talk records nothing";
    recorder->stop();
    recorder.reset();

    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->start());
    player.reset();
    player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->isOpen()) << "the next player's speaker did not open";
    ASSERT_TRUE(player->start());
    player->append(Bytes(VoiceFormat::kBlockBytes, 0x11));
    EXPECT_TRUE(waitUntil([&] { return player->waitingBlocks().empty(); }))
        << "the next player plays nothing";
}
