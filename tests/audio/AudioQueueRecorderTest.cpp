#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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

TEST_F(AudioQueueRecorderTest, DeliversEveryWholeBlockOnTheDrainTimer) {
    auto recorder = AudioQueueRecorder::create();
    ASSERT_TRUE(recorder->mQueue);
    ASSERT_EQ(recorder->mBuffers.size(), 3U);
    Capture capture;
    recorder->start(capture.callback());
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= 15; }));
    // With the microphone stopped, the ticks still running send whatever whole blocks wait
    // (every one at each tick) and leave only a part block behind.
    recorder->mQueue->stop();
    std::size_t delivered = 0;
    std::size_t cached = 0;
    {
        // The capture callback runs under this lock: the two counts belong together.
        std::lock_guard lock(recorder->syncLock);
        delivered = capture.count();
        cached = recorder->cachedAudioData.size();
    }
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(recorder->syncLock);
        return recorder->cachedAudioData.size() < kBlock;
    }));
    recorder->stop();
    EXPECT_EQ(capture.count(), delivered + cached / kBlock) << "each whole block goes out once";
    EXPECT_EQ(recorder->cachedAudioData.size(), cached % kBlock);
    EXPECT_FALSE(capture.offQueue()) << "blocks are handed over on the drain timer's queue";
    for (const auto& amr : capture.blocks()) {
        ASSERT_EQ(amr.size(), 64U);
        EXPECT_EQ(amr[0], 0x3C);
        EXPECT_EQ(amr[32], 0x3C);
    }
    EXPECT_FALSE(recorder->timer);

    // The blocks carry the microphone's sound, not silence. The codec renders this
    // noise-like pattern only roughly, and its first frames after a quiet spell softly.
    Bytes decoded;
    for (const auto& amr : capture.blocks()) {
        const Bytes pcm = intercom::AudioTool::shared().decode(amr);
        decoded.insert(decoded.end(), pcm.begin(), pcm.end());
    }
    const auto samples = samplesOf(decoded);
    const auto loud = std::count_if(samples.begin(), samples.end(),
                                    [](std::int16_t v) { return v > 200 || v < -200; });
    EXPECT_GT(loud, static_cast<long>(samples.size() / 10));
}

// The microphone's buffers and the drain timer's ticks on a simulated clock, through the
// recorder's own input callback and drain: the microphone runs 1000 ppm fast for 30 s and
// one tick comes 95 ms late, taking the two ticks after it with it (a late tick is dropped,
// not delivered in a burst).
TEST_F(AudioQueueRecorderTest, LateTicksAndAFastMicrophoneLeaveNoBacklog) {
    using Micros = std::chrono::microseconds;
    auto recorder = AudioQueueRecorder::create();
    ASSERT_TRUE(recorder->mQueue);
    AudioQueueBuffer* buffer = recorder->mBuffers.front();

    // Loud and silent blocks in an order that cannot come out right by chance.
    const auto isLoud = [](int block) { return (block * block + block / 3) % 5 < 2; };
    const Bytes loud = withGain(patternBlock(kBlock, 9), 20);
    const Bytes silent(kBlock, 0);

    Micros now{0};
    std::vector<Micros> captured;
    std::vector<Micros> delays;
    std::vector<Bytes> sent;
    recorder->captureCallback = [&](const Bytes& amr) {
        delays.push_back(now - captured.at(sent.size()));
        sent.push_back(amr);
    };

    const Micros micPeriod{40000 * 1000 / 1001};
    const Micros tick{40000};
    const Micros lateTick{1000000};
    const Micros lateness{95000};
    Micros nextBuffer = micPeriod;
    Micros nextTick{0};
    std::size_t lateSends = 0;
    while (nextBuffer <= Micros{30000000}) {
        const Micros due = nextTick == lateTick ? lateTick + lateness : nextTick;
        if (nextBuffer <= due) {
            now = nextBuffer;
            const int index = static_cast<int>(captured.size());
            std::memcpy(buffer->mAudioData, (isLoud(index) ? loud : silent).data(), kBlock);
            buffer->mAudioDataByteSize = kBlock;
            captured.push_back(now);
            recorder->handleInputBuffer(recorder->mQueue.get(), buffer);
            nextBuffer += micPeriod;
            continue;
        }
        now = due;
        const auto before = sent.size();
        recorder->drainCachedAudio();
        if (due != nextTick) {
            lateSends = sent.size() - before;
        }
        {
            std::lock_guard lock(recorder->syncLock);
            ASSERT_LT(recorder->cachedAudioData.size(), kBlock) << "a whole block stayed behind";
        }
        // The ticks missed while the late one ran are gone; the grid keeps its phase.
        do {
            nextTick += tick;
        } while (nextTick < now);
    }

    ASSERT_EQ(lateSends, 3U) << "the late tick sends everything that waited for it";
    std::size_t late = 0;
    for (const auto delay : delays) {
        late += delay >= Micros{80000} ? 1 : 0;
    }
    EXPECT_LE(late, lateSends) << "only what the late tick sent was late";
    ASSERT_GE(sent.size() + 1, captured.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(sent[i].size(), 64U);
        const auto samples = samplesOf(intercom::AudioTool::shared().decode(sent[i]));
        // The codec's delay carries a few milliseconds of each block into the next: only the
        // second half tells.
        const auto energetic = std::count_if(samples.begin() + 160, samples.end(),
                                             [](std::int16_t v) { return v > 1000 || v < -1000; });
        // The shared codec states carry whatever earlier tests fed them: the first blocks only
        // settle them.
        if (i < 8) {
            continue;
        }
        ASSERT_EQ(energetic > 40, isLoud(static_cast<int>(i)))
            << "block " << i << " out of order (" << energetic << ")";
    }
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
