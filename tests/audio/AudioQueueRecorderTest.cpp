#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/AudioQueueRecorder.h"
#include "audio/Beep.h"
#include "model/Setting.h"
#include "platform/Bundle.h"
#include "platform/dispatch/GlobalQueue.h"

using namespace std::chrono_literals;
using intercom::AudioQueueBuffer;
using intercom::AudioQueueRecorder;
using intercom::Bytes;
using intercom::Setting;
using namespace intercom::test;

namespace {

constexpr std::size_t kBlock = 640;

// A microphone recording of `blocks` distinct 40 ms blocks.
Bytes recording(int blocks) {
    Bytes all;
    for (int i = 0; i < blocks; ++i) {
        const Bytes block = patternBlock(kBlock, i + 1);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

Bytes withGain(Bytes block, std::int64_t gain) {
    AudioQueueBuffer buffer;
    buffer.mAudioData = block.data();
    buffer.mAudioDataBytesCapacity = static_cast<std::uint32_t>(block.size());
    buffer.mAudioDataByteSize = static_cast<std::uint32_t>(block.size());
    intercom::applyGain(buffer, gain);
    return block;
}

void saveSetting(const std::function<void(Setting&)>& change) {
    Setting setting = Setting::load();
    change(setting);
    ASSERT_TRUE(setting.save());
}

// What the capture callback received, and where.
class Capture {
  public:
    AudioQueueRecorder::CaptureCallback callback() {
        return [this](const Bytes& amr) {
            std::lock_guard lock(mutex_);
            blocks_.push_back(amr);
            if (!intercom::dispatch::globalQueue().isCurrent()) {
                offQueue_ = true;
            }
        };
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return blocks_.size();
    }
    std::vector<Bytes> blocks() {
        std::lock_guard lock(mutex_);
        return blocks_;
    }
    bool offQueue() const { return offQueue_; }

  private:
    std::mutex mutex_;
    std::vector<Bytes> blocks_;
    std::atomic<bool> offQueue_{false};
};

// Ends the capture but lets the sidetone play out what it was given, however far behind the
// speaker runs on a loaded machine; the disk driver writes through a stdio buffer, so the
// file must grow well past the last block before that block is surely in it.
void letSidetonePlayOut(AudioQueueRecorder& recorder, const DiskAudio& disk) {
    recorder.mQueue->stop();
    std::shared_ptr<intercom::AudioQueuePlayer> sidetone;
    {
        std::lock_guard lock(recorder.syncLock);
        sidetone = recorder.stPlayer;
    }
    ASSERT_TRUE(sidetone);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(sidetone->syncLock);
        return sidetone->dataList.empty();
    }));
    const auto played = fileSize(disk.speaker());
    ASSERT_TRUE(waitUntil([&] { return fileSize(disk.speaker()) >= played + 8192; }));
}

class AudioQueueRecorderTest : public ::testing::Test {
  protected:
    void SetUp() override { writeFile(disk.microphone(), recording(200)); }

    DiskAudio disk;
};

}  // namespace

TEST_F(AudioQueueRecorderTest, DeliversOneBlockPerTickOnTheDrainTimer) {
    auto recorder = AudioQueueRecorder::create();
    ASSERT_TRUE(recorder->mQueue);
    ASSERT_EQ(recorder->mBuffers.size(), 3U);
    Capture capture;
    const auto start = std::chrono::steady_clock::now();
    recorder->start(capture.callback());
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= 15; }));
    recorder->stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto delivered = capture.count();
    EXPECT_FALSE(capture.offQueue()) << "blocks are handed over on the drain timer's queue";
    // The timer drains at most one block per 40 ms tick, however much is waiting.
    EXPECT_LE(delivered, static_cast<std::size_t>(elapsed / 40ms) + 2);
    for (const auto& amr : capture.blocks()) {
        ASSERT_EQ(amr.size(), 64U);
        EXPECT_EQ(amr[0], 0x3C);
        EXPECT_EQ(amr[32], 0x3C);
    }
    EXPECT_FALSE(recorder->timer);
    EXPECT_EQ(capture.count(), delivered) << "nothing is delivered after the stop";

    // The blocks carry the microphone's sound, not silence.
    Bytes decoded;
    for (const auto& amr : capture.blocks()) {
        const Bytes pcm = intercom::AudioTool::shared().decode(amr);
        decoded.insert(decoded.end(), pcm.begin(), pcm.end());
    }
    const auto samples = samplesOf(decoded);
    const auto loud = std::count_if(samples.begin(), samples.end(),
                                    [](std::int16_t v) { return v > 200 || v < -200; });
    EXPECT_GT(loud, static_cast<long>(samples.size() / 4));
}

TEST_F(AudioQueueRecorderTest, DrainTakesOneWholeBlockOldestFirst) {
    auto recorder = AudioQueueRecorder::create();
    Capture capture;
    recorder->captureCallback = capture.callback();
    const Bytes three = recording(3);
    {
        std::lock_guard lock(recorder->syncLock);
        recorder->cachedAudioData.assign(three.begin(), three.begin() + 639);
    }
    recorder->drainCachedAudio();
    EXPECT_EQ(capture.count(), 0U);
    {
        std::lock_guard lock(recorder->syncLock);
        EXPECT_EQ(recorder->cachedAudioData.size(), 639U) << "a partial block waits";
        recorder->cachedAudioData = three;
    }
    recorder->drainCachedAudio();
    ASSERT_EQ(capture.count(), 1U);
    EXPECT_EQ(capture.blocks()[0].size(), 64U);
    std::lock_guard lock(recorder->syncLock);
    EXPECT_EQ(recorder->cachedAudioData, Bytes(three.begin() + kBlock, three.end()))
        << "the oldest block leaves, the two after it stay in order";
}

TEST_F(AudioQueueRecorderTest, StartTimerKeepsARunningTimer) {
    auto recorder = AudioQueueRecorder::create();
    recorder->startTimer();
    const auto first = recorder->timer;
    ASSERT_TRUE(first);
    recorder->startTimer();
    EXPECT_EQ(recorder->timer, first);
    recorder->stop();
    EXPECT_FALSE(recorder->timer);
    EXPECT_TRUE(first->isCancelled());
}

TEST_F(AudioQueueRecorderTest, GainIsReadAfreshAndTheSidetoneHearsEveryBuffer) {
    saveSetting([](Setting& s) {
        s.isSidetoneBlocking = false;
        s.audioEnhance = 0;
    });
    auto recorder = AudioQueueRecorder::create();
    Capture capture;
    recorder->start(capture.callback());
    ASSERT_TRUE(recorder->stPlayer) << "the sidetone starts when it is not blocked";
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= 8; }));
    saveSetting([](Setting& s) { s.audioEnhance = 6; });
    const auto switched = capture.count();
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= switched + 10; }));
    letSidetonePlayOut(*recorder, disk);
    recorder->stop();
    EXPECT_FALSE(recorder->stPlayer);
    recorder.reset();

    const Bytes speaker = readFile(disk.speaker());
    std::vector<int> raw;
    std::vector<int> gained;
    std::size_t from = 0;
    for (int i = 0; i < 200; ++i) {
        const Bytes block = patternBlock(kBlock, i + 1);
        if (const auto at = find(speaker, block, from)) {
            raw.push_back(i);
            from = *at + kBlock;
        } else if (const auto at = find(speaker, withGain(block, 6), from)) {
            gained.push_back(i);
            from = *at + kBlock;
        }
    }
    ASSERT_FALSE(raw.empty());
    ASSERT_FALSE(gained.empty()) << "the new gain applies to later buffers";
    EXPECT_LT(raw.back(), gained.front()) << "once changed, the gain stays changed";
    EXPECT_EQ(static_cast<std::size_t>(gained.back() - raw.front() + 1), raw.size() + gained.size())
        << "every captured buffer reaches the sidetone, in order";
    EXPECT_GE(gained.size(), 5U);
}

TEST_F(AudioQueueRecorderTest, SidetoneFollowsTheSwitch) {
    auto recorder = AudioQueueRecorder::create();
    Capture capture;
    recorder->start(capture.callback());
    EXPECT_FALSE(recorder->stPlayer) << "blocked by default";

    recorder->startSidetone();
    const auto sidetone = recorder->stPlayer;
    ASSERT_TRUE(sidetone);
    recorder->startSidetone();
    EXPECT_EQ(recorder->stPlayer, sidetone) << "a second start keeps the first player";
    const auto heard = capture.count();
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= heard + 6; }));
    letSidetonePlayOut(*recorder, disk);
    recorder->stopSidetone();
    EXPECT_FALSE(recorder->stPlayer);
    recorder->stopSidetone();
    recorder->stop();
    EXPECT_FALSE(recorder->timer);
    recorder.reset();

    // Only the sidetone plays to the speaker: the microphone's blocks are there once it
    // was switched on.
    const Bytes speaker = readFile(disk.speaker());
    int found = 0;
    for (int i = 0; i < 200; ++i) {
        found += find(speaker, patternBlock(kBlock, i + 1)).has_value() ? 1 : 0;
    }
    EXPECT_GE(found, 3);
}

TEST_F(AudioQueueRecorderTest, StopDropsTheHeldToneEvenWithoutSidetone) {
    auto& beep = intercom::Beep::shared();
    const auto path = intercom::Bundle::pathForResource("reconnect_bee.wav");
    ASSERT_TRUE(path);
    beep.setPlayer(intercom::AudioPlayer::create(path->string()));
    ASSERT_TRUE(beep.player());

    auto recorder = AudioQueueRecorder::create();
    Capture capture;
    recorder->start(capture.callback());
    ASSERT_TRUE(recorder->timer);
    recorder->stop();
    EXPECT_FALSE(recorder->timer);
    EXPECT_FALSE(recorder->stPlayer);
    EXPECT_FALSE(beep.player());
}

TEST_F(AudioQueueRecorderTest, SidetoneSwitchedWhileBuffersArriveBackToBack) {
    // The driver captures and renders without pause, so the input callback is nearly
    // always running while the sidetone comes and goes.
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    ::setenv("SDL_DISKAUDIODELAY", "0", 1);
    writeFile(disk.microphone(), recording(2000));
    auto recorder = AudioQueueRecorder::create();
    Capture capture;
    recorder->start(capture.callback());
    for (int i = 0; i < 30; ++i) {
        recorder->startSidetone();
        ASSERT_TRUE(recorder->stPlayer);
        std::this_thread::sleep_for(1ms);
        recorder->stopSidetone();
    }
    recorder->stop();
    recorder.reset();
}
