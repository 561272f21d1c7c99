#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/AudioQueueRecorder.h"
#include "audio/Beep.h"
#include "model/Setting.h"
#include "platform/Bundle.h"
#include "platform/audio/VoiceFormat.h"
#include "platform/dispatch/GlobalQueue.h"

using namespace std::chrono_literals;
using intercom::AudioQueueBuffer;
using intercom::AudioQueueRecorder;
using intercom::Bytes;
using intercom::Setting;
using namespace intercom::test;

namespace {

constexpr std::size_t kBlock = intercom::VoiceFormat::kBlockBytes;

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

// The microphone on an input queue of the test's own, which can fall silent while the drain
// timer and the sidetone run on: once muted, each buffer goes straight back to the queue.
class Microphone {
  public:
    Microphone() = default;
    Microphone(const Microphone&) = delete;
    Microphone& operator=(const Microphone&) = delete;
    // A test that fails before it stops leaves the recorder to its drain timer: the queue
    // must not call into this object once it is gone.
    ~Microphone() {
        if (const auto recorder = held_.lock()) {
            recorder->stop();
        }
    }

    // A recorder on this microphone; null when no input device opens.
    std::shared_ptr<AudioQueueRecorder> open(AudioQueueRecorder::CaptureCallback callback) {
        auto queue = intercom::AudioQueue::newInput(&Microphone::callback, this);
        if (!queue) {
            return nullptr;
        }
        auto recorder = AudioQueueRecorder::create(std::move(queue), std::move(callback));
        std::lock_guard lock(mutex_);
        recorder_ = recorder.get();
        held_ = recorder;
        return recorder;
    }
    // Once this returns, nothing more reaches the recorder.
    void mute() {
        std::lock_guard lock(mutex_);
        muted_ = true;
    }
    // The bytes handed to the recorder so far.
    std::size_t handedOver() {
        std::lock_guard lock(mutex_);
        return handedOver_;
    }

  private:
    static void callback(void* userData, intercom::AudioQueue* queue, AudioQueueBuffer* buffer) {
        auto* self = static_cast<Microphone*>(userData);
        std::lock_guard lock(self->mutex_);
        if (self->muted_ || self->recorder_ == nullptr) {
            queue->enqueueBuffer(buffer);
            return;
        }
        self->handedOver_ += buffer->mAudioDataByteSize;
        self->recorder_->handleInputBuffer(queue, buffer);
    }

    std::mutex mutex_;
    AudioQueueRecorder* recorder_ = nullptr;
    std::weak_ptr<AudioQueueRecorder> held_;
    bool muted_ = false;
    std::size_t handedOver_ = 0;
};

// Silences the microphone but lets the sidetone play out what it was given, however far
// behind the speaker runs on a loaded machine: with nothing more coming, all that waited has
// been played once the speaker has played the longest list a player keeps and its three
// buffers. The disk driver writes through a stdio buffer, so the file must grow well past
// that before the last block is surely in it.
void letSidetonePlayOut(Microphone& microphone, const DiskAudio& disk) {
    using intercom::AudioQueuePlayer;
    constexpr auto kWaitingAtMost = AudioQueuePlayer::kMaxWaitingBytes +
                                    AudioQueuePlayer::kBufferCount * AudioQueuePlayer::kBufferBytes;
    microphone.mute();
    const auto played = fileSize(disk.speaker());
    ASSERT_TRUE(
        waitUntil([&] { return fileSize(disk.speaker()) >= played + kWaitingAtMost + 8192; }));
}

// Takes no buffers: the queue is never started.
void ignoreBuffer(void* /*userData*/, intercom::AudioQueue* /*queue*/,
                  AudioQueueBuffer* /*buffer*/) {}

class AudioQueueRecorderTest : public ::testing::Test {
  protected:
    void SetUp() override { writeFile(disk_.microphone(), recording(200)); }

    DiskAudio disk_;
    Microphone microphone_;
};

}  // namespace

TEST_F(AudioQueueRecorderTest, DeliversEveryWholeBlockOnTheDrainTimer) {
    Capture capture;
    auto recorder = microphone_.open(capture.callback());
    ASSERT_TRUE(recorder);
    ASSERT_EQ(recorder->bufferCount(), 3U);
    ASSERT_TRUE(recorder->start());
    ASSERT_TRUE(recorder->isDraining());
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= 15; }));
    // With the microphone silent, the ticks still running send whatever whole blocks wait
    // (every one at each tick) and leave only a part block behind.
    microphone_.mute();
    ASSERT_TRUE(waitUntil([&] { return recorder->cachedBytes() < kBlock; }));
    recorder->stop();
    EXPECT_EQ(capture.count() * kBlock + recorder->cachedBytes(), microphone_.handedOver())
        << "each whole block goes out once";
    EXPECT_FALSE(capture.offQueue()) << "blocks are handed over on the drain timer's queue";
    for (const auto& amr : capture.blocks()) {
        ASSERT_EQ(amr.size(), 64U);
        EXPECT_EQ(amr[0], 0x3C);
        EXPECT_EQ(amr[32], 0x3C);
    }
    EXPECT_FALSE(recorder->isDraining());

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

// The microphone's buffers and the drain timer's ticks on a simulated clock, through what the
// recorder's input callback and drain timer run: the microphone runs 1000 ppm fast for 30 s and
// one tick comes 95 ms late, taking the two ticks after it with it (a late tick is dropped,
// not delivered in a burst).
TEST_F(AudioQueueRecorderTest, LateTicksAndAFastMicrophoneLeaveNoBacklog) {
    using Micros = std::chrono::microseconds;

    // Loud and silent blocks in an order that cannot come out right by chance.
    const auto isLoud = [](int block) { return (block * block + block / 3) % 5 < 2; };
    const Bytes loud = withGain(patternBlock(kBlock, 9), 20);
    const Bytes silent(kBlock, 0);

    Micros now{0};
    std::vector<Micros> captured;
    std::vector<Micros> delays;
    std::vector<Bytes> sent;
    auto recorder = AudioQueueRecorder::create([&](const Bytes& amr) {
        delays.push_back(now - captured.at(sent.size()));
        sent.push_back(amr);
    });
    // The buffers come from a queue that never runs: the test is the audio thread.
    auto microphone = intercom::AudioQueue::newInput(&ignoreBuffer, nullptr);
    ASSERT_TRUE(microphone);
    AudioQueueBuffer* buffer = microphone->allocateBuffer(kBlock);
    ASSERT_NE(buffer, nullptr);

    const Micros tick = intercom::VoiceFormat::kBlockDuration;
    const Micros micPeriod = tick * 1000 / 1001;
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
            recorder->handleInputBuffer(microphone.get(), buffer);
            nextBuffer += micPeriod;
            continue;
        }
        now = due;
        const auto before = sent.size();
        recorder->drainCachedAudio();
        if (due != nextTick) {
            lateSends = sent.size() - before;
        }
        ASSERT_LT(recorder->cachedBytes(), kBlock) << "a whole block stayed behind";
        // The ticks missed while the late one ran are gone; the grid keeps its phase.
        do {
            nextTick += tick;
        } while (nextTick < now);
    }

    ASSERT_EQ(lateSends, 3U) << "the late tick sends everything that waited for it";
    std::size_t late = 0;
    for (const auto delay : delays) {
        late += delay >= 2 * tick ? 1 : 0;
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

TEST_F(AudioQueueRecorderTest, StopEndsTheDrainTimerAndLetsTheRecorderGo) {
    Capture capture;
    auto recorder = AudioQueueRecorder::create(capture.callback());
    ASSERT_TRUE(recorder->start());
    EXPECT_TRUE(recorder->isDraining());
    recorder->stop();
    EXPECT_FALSE(recorder->isDraining());
    const std::weak_ptr<AudioQueueRecorder> held = recorder;
    recorder.reset();
    EXPECT_TRUE(held.expired()) << "a drain timer still holds the recorder";
}

TEST_F(AudioQueueRecorderTest, GainIsReadAfreshAndTheSidetoneHearsEveryBuffer) {
    saveSetting([](Setting& s) {
        s.isSidetoneBlocking = false;
        s.audioEnhance = 0;
    });
    Capture capture;
    auto recorder = microphone_.open(capture.callback());
    ASSERT_TRUE(recorder);
    ASSERT_TRUE(recorder->start());
    ASSERT_TRUE(recorder->hasSidetone()) << "the sidetone starts when it is not blocked";
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= 8; }));
    saveSetting([](Setting& s) { s.audioEnhance = 6; });
    const auto switched = capture.count();
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= switched + 10; }));
    letSidetonePlayOut(microphone_, disk_);
    recorder->stop();
    EXPECT_FALSE(recorder->hasSidetone());
    recorder.reset();

    const Bytes speaker = readFile(disk_.speaker());
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
    Capture capture;
    auto recorder = microphone_.open(capture.callback());
    ASSERT_TRUE(recorder);
    ASSERT_TRUE(recorder->start());
    EXPECT_FALSE(recorder->hasSidetone()) << "blocked by default";

    recorder->startSidetone();
    ASSERT_TRUE(recorder->hasSidetone());
    recorder->startSidetone();
    EXPECT_TRUE(recorder->hasSidetone()) << "a second start keeps the sidetone on";
    const auto heard = capture.count();
    ASSERT_TRUE(waitUntil([&] { return capture.count() >= heard + 6; }));
    letSidetonePlayOut(microphone_, disk_);
    recorder->stopSidetone();
    EXPECT_FALSE(recorder->hasSidetone());
    recorder->stopSidetone();
    recorder->stop();
    EXPECT_FALSE(recorder->isDraining());
    recorder.reset();

    // Only the sidetone plays to the speaker: the microphone's blocks are there once it
    // was switched on.
    const Bytes speaker = readFile(disk_.speaker());
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

    Capture capture;
    auto recorder = AudioQueueRecorder::create(capture.callback());
    ASSERT_TRUE(recorder->start());
    ASSERT_TRUE(recorder->isDraining());
    recorder->stop();
    EXPECT_FALSE(recorder->isDraining());
    EXPECT_FALSE(recorder->hasSidetone());
    EXPECT_FALSE(beep.player());
}

TEST_F(AudioQueueRecorderTest, SidetoneSwitchedWhileBuffersArriveBackToBack) {
    // The driver captures and renders without pause, so the input callback is nearly
    // always running while the sidetone comes and goes.
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    ::setenv("SDL_DISKAUDIODELAY", "0", 1);
    writeFile(disk_.microphone(), recording(2000));
    Capture capture;
    auto recorder = AudioQueueRecorder::create(capture.callback());
    ASSERT_TRUE(recorder->start());
    for (int i = 0; i < 30; ++i) {
        recorder->startSidetone();
        ASSERT_TRUE(recorder->hasSidetone());
        std::this_thread::sleep_for(1ms);
        recorder->stopSidetone();
    }
    recorder->stop();
    recorder.reset();
}
