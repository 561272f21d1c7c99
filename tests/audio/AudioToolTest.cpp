#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "AudioTestSupport.h"
#include "audio/AudioTool.h"
#include "platform/audio/VoiceFormat.h"

using intercom::AudioQueueBuffer;
using intercom::AudioTool;
using intercom::Bytes;
using intercom::VoiceFormat;
using intercom::test::patternBlock;

namespace {

std::vector<std::int16_t> gained(std::vector<std::int16_t> samples, std::int64_t gain) {
    AudioQueueBuffer buffer;
    buffer.mAudioData = samples.data();
    buffer.mAudioDataBytesCapacity = static_cast<std::uint32_t>(samples.size() * 2);
    buffer.mAudioDataByteSize = buffer.mAudioDataBytesCapacity;
    intercom::applyGain(buffer, gain);
    return samples;
}

}  // namespace

TEST(AudioTool, EncodesWholeFramesOnly) {
    auto& tool = AudioTool::shared();
    const Bytes block = tool.encode(patternBlock(VoiceFormat::kBlockBytes, 1));
    ASSERT_EQ(block.size(), 64U);
    EXPECT_EQ(block[0], 0x3C) << "12.2 kbit/s frame header, quality bit set";
    EXPECT_EQ(block[32], 0x3C);
    EXPECT_EQ(tool.encode(patternBlock(639, 2)).size(), 32U);
    EXPECT_TRUE(tool.encode(patternBlock(319, 3)).empty());
    EXPECT_TRUE(tool.encode(Bytes()).empty());
}

TEST(AudioTool, DecodesEvery32BytesToOneFrameOfPcm) {
    auto& tool = AudioTool::shared();
    const Bytes amr = tool.encode(patternBlock(VoiceFormat::kBlockBytes, 4));
    EXPECT_EQ(tool.decode(amr).size(), VoiceFormat::kBlockBytes);
    EXPECT_EQ(tool.decode(Bytes(amr.begin(), amr.begin() + 63)).size(), 320U);
    EXPECT_TRUE(tool.decode(Bytes(amr.begin(), amr.begin() + 31)).empty());
    EXPECT_TRUE(tool.decode(Bytes()).empty());
    // Whatever a frame holds, it still stands for 20 ms of sound.
    EXPECT_EQ(tool.decode(Bytes(32, 0xFF)).size(), 320U);
    EXPECT_EQ(tool.decode(Bytes(64, 0x00)).size(), VoiceFormat::kBlockBytes);
}

TEST(ApplyGain, ScalesRoundsAndClamps) {
    EXPECT_EQ(gained({1000, -1000, 16384, 20000, -20000}, 6),
              (std::vector<std::int16_t>{1995, -1995, 32690, 32767, -32768}));
    EXPECT_EQ(gained({32767, -32768, 1, -1}, -20), (std::vector<std::int16_t>{3277, -3277, 0, 0}));
    EXPECT_EQ(gained({1000, -1000}, 3), (std::vector<std::int16_t>{1413, -1413}));
}

TEST(ApplyGain, RoundsHalvesAwayFromZero) {
    // 10^(-20/20) = 0.1 in single precision is a little above 0.1: 5 * 0.1 rounds to 1.
    EXPECT_EQ(gained({5, -5, 15, -15}, -20), (std::vector<std::int16_t>{1, -1, 2, -2}));
}

TEST(ApplyGain, LeavesAnOddLastByte) {
    Bytes bytes(641, 0);
    const std::int16_t sample = 1000;
    for (std::size_t i = 0; i + 1 < 640; i += 2) {
        std::memcpy(bytes.data() + i, &sample, 2);
    }
    bytes[640] = 0x7B;
    AudioQueueBuffer buffer;
    buffer.mAudioData = bytes.data();
    buffer.mAudioDataBytesCapacity = 641;
    buffer.mAudioDataByteSize = 641;
    intercom::applyGain(buffer, 6);
    std::int16_t last;
    std::memcpy(&last, bytes.data() + 638, 2);
    EXPECT_EQ(last, 1995);
    EXPECT_EQ(bytes[640], 0x7B);

    Bytes single{0x10};
    buffer.mAudioData = single.data();
    buffer.mAudioDataBytesCapacity = buffer.mAudioDataByteSize = 1;
    intercom::applyGain(buffer, 6);
    EXPECT_EQ(single[0], 0x10);
}

TEST(ApplyGain, AnyStoredGainKeepsSamplesInRange) {
    const auto huge = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(gained({0, 1, -1, 32767}, huge),
              (std::vector<std::int16_t>{0, 32767, -32768, 32767}));
    EXPECT_EQ(gained({0, 1, -1, 32767}, -huge), (std::vector<std::int16_t>{0, 0, 0, 0}));
}
