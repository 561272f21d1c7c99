#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "platform/Bundle.h"
#include "platform/audio/AudioPlayer.h"
#include "platform/audio/AudioQueue.h"
#include "platform/audio/VoiceFormat.h"

using intercom::AudioQueue;
using intercom::AudioQueueBuffer;
using intercom::Bytes;
using intercom::VoiceFormat;
using namespace intercom::test;

namespace {

// Counts played buffers and sends each back as silence, so that the stream runs on.
void refillWithSilence(void* userData, AudioQueue* queue, AudioQueueBuffer* buffer) {
    static_cast<std::atomic<int>*>(userData)->fetch_add(1);
    std::memset(buffer->mAudioData, 0, buffer->mAudioDataBytesCapacity);
    buffer->mAudioDataByteSize = buffer->mAudioDataBytesCapacity;
    queue->enqueueBuffer(buffer);
}

}  // namespace

TEST(AudioQueue, OutputVolumeScalesWhatIsPlayed) {
    const DiskAudio disk;
    std::atomic<int> played{0};
    auto queue = AudioQueue::newOutput(&refillWithSilence, &played);
    ASSERT_TRUE(queue);
    EXPECT_FALSE(queue->setVolume(1.5F));
    ASSERT_TRUE(queue->setVolume(0.5F));

    const Bytes loud = patternBlock(VoiceFormat::kBlockBytes, 7);
    AudioQueueBuffer* buffer = queue->allocateBuffer(VoiceFormat::kBlockBytes);
    ASSERT_NE(buffer, nullptr);
    std::memcpy(buffer->mAudioData, loud.data(), loud.size());
    buffer->mAudioDataByteSize = 0;
    EXPECT_FALSE(queue->enqueueBuffer(buffer)) << "an empty output buffer is refused";
    buffer->mAudioDataByteSize = VoiceFormat::kBlockBytes;
    ASSERT_TRUE(queue->enqueueBuffer(buffer));
    ASSERT_TRUE(queue->start());
    ASSERT_TRUE(waitUntil([&] { return played.load() >= 20; }));
    ASSERT_TRUE(queue->stop());
    queue.reset();

    auto half = samplesOf(loud);
    for (auto& sample : half) {
        sample = static_cast<std::int16_t>(std::lround(sample * 0.5F));
    }
    Bytes expected(half.size() * 2);
    std::memcpy(expected.data(), half.data(), expected.size());
    EXPECT_TRUE(find(readFile(disk.speaker()), expected).has_value());
}

TEST(AudioQueue, WaveFilesLoadWhileTheFirstDeviceOpens) {
    // The first device brings the audio subsystem up, while tones are read on other threads:
    // a reconnect tone on the connection's queue as a talk begins on the main thread.
    const DiskAudio disk;
    const auto path = intercom::Bundle::pathForResource("reconnect_bee.wav");
    ASSERT_TRUE(path);
    std::atomic<bool> opened{false};
    std::atomic<int> loaded{0};
    std::vector<std::thread> loaders;
    for (int t = 0; t < 3; ++t) {
        loaders.emplace_back([&] {
            do {
                loaded += intercom::AudioPlayer::create(path->string()) ? 1 : 0;
            } while (!opened);
        });
    }
    std::atomic<int> played{0};
    auto queue = AudioQueue::newOutput(&refillWithSilence, &played);
    opened = true;
    for (auto& loader : loaders) {
        loader.join();
    }
    EXPECT_TRUE(queue);
    EXPECT_GE(loaded.load(), 3);
}
