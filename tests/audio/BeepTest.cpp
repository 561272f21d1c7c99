#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "audio/Beep.h"
#include "model/Setting.h"

using namespace std::chrono_literals;
using intercom::AudioPlayer;
using intercom::Beep;
using intercom::Setting;
using intercom::dispatch::Duration;
using intercom::dispatch::Work;
using intercom::test::waitUntil;

namespace {

// Keeps delayed work until the test runs it: the 15 s of the replay pass at once.
class HeldQueue final : public intercom::dispatch::Queue {
  public:
    void async(Work work) override { after(Duration::zero(), std::move(work)); }
    void after(Duration delay, Work work) override {
        std::lock_guard lock(mutex_);
        delays_.push_back(delay);
        held_.push_back(std::move(work));
    }
    bool isCurrent() const override { return false; }

    std::size_t count() {
        std::lock_guard lock(mutex_);
        return held_.size();
    }
    Duration delay(std::size_t index) {
        std::lock_guard lock(mutex_);
        return delays_.at(index);
    }
    void clear() {
        std::vector<Work> released;
        {
            std::lock_guard lock(mutex_);
            released.swap(held_);
            delays_.clear();
        }
    }
    void run(std::size_t index) {
        Work work;
        {
            std::lock_guard lock(mutex_);
            work = held_.at(index);
        }
        work();
    }

  private:
    std::mutex mutex_;
    std::vector<Duration> delays_;
    std::vector<Work> held_;
};

void enable(bool speaking, bool ring, bool reconnect) {
    Setting setting = Setting::load();
    setting.isSpeakingBeep = speaking;
    setting.isCallingRing = ring;
    setting.isReconnectBeep = reconnect;
    ASSERT_TRUE(setting.save());
}

bool holds(const std::shared_ptr<AudioPlayer>& player, const std::string& name) {
    return player && std::filesystem::path(player->path()).filename() == name;
}

class BeepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Nobody listens to the tones; the disk driver plays them many times faster than
        // real time, so that a tone ends within milliseconds.
        ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        ::setenv("SDL_DISKAUDIODELAY", "1", 1);
        beep_ = std::make_shared<Beep>(queue_, Beep::kSpeakingReplayDelay);
    }
    void TearDown() override {
        beep_->dropPlayer();
        // A tone that finished just before the drop reports it on a pool thread, which keeps
        // the Beep alive while it posts its replay to `queue_`: wait for that to be over
        // before the fixture and its queue go away.
        // Held replays keep the Beep too, so they are let go of on every check.
        const std::weak_ptr<Beep> last = beep_;
        beep_.reset();
        ASSERT_TRUE(waitUntil([&] {
            queue_.clear();
            return last.expired();
        }));
    }

    HeldQueue queue_;
    std::shared_ptr<Beep> beep_;
};

}  // namespace

TEST_F(BeepTest, EachTonePlaysOnlyWhenItsSettingIsOn) {
    enable(false, false, false);
    beep_->playSpeakingBeep();
    beep_->playCallingRing();
    beep_->playReconnectBeep();
    EXPECT_FALSE(beep_->player());

    enable(true, false, false);
    beep_->playSpeakingBeep();
    EXPECT_TRUE(holds(beep_->player(), "talking_bee.wav"));
    beep_->dropPlayer();

    enable(false, true, false);
    beep_->playCallingRing();
    EXPECT_TRUE(holds(beep_->player(), "call_bee.wav"));
    beep_->dropPlayer();

    enable(false, false, true);
    beep_->playReconnectBeep();
    EXPECT_TRUE(holds(beep_->player(), "reconnect_bee.wav"));
}

TEST_F(BeepTest, SpeakingToneReplaysFifteenSecondsAfterEachEndWhileHeld) {
    enable(true, false, false);
    beep_->playSpeakingBeep();
    const auto tone = beep_->player();
    ASSERT_TRUE(tone);
    ASSERT_TRUE(waitUntil([&] { return queue_.count() == 1; }));
    EXPECT_EQ(queue_.delay(0), 15s);
    EXPECT_FALSE(tone->isPlaying());

    queue_.run(0);
    EXPECT_TRUE(tone->isPlaying()) << "the held tone sounds again";
    ASSERT_TRUE(waitUntil([&] { return queue_.count() == 2; })) << "and is queued again";

    beep_->dropPlayer();
    queue_.run(1);
    EXPECT_FALSE(beep_->player());
    EXPECT_FALSE(tone->isPlaying()) << "a dropped tone is not replayed";
}

TEST_F(BeepTest, StoppedSpeakingToneIsNotReplayed) {
    enable(true, false, false);
    // Real time: the tone is still playing when the talk ends.
    ::setenv("SDL_DISKAUDIODELAY", "200", 1);
    beep_->playSpeakingBeep();
    const auto tone = beep_->player();
    ASSERT_TRUE(tone && tone->isPlaying());
    beep_->dropPlayer();
    EXPECT_FALSE(tone->isPlaying());
    EXPECT_EQ(queue_.count(), 0U);
}

TEST_F(BeepTest, HeldReconnectToneKeepsTheSpeakingToneFromStartingUntilDropped) {
    enable(true, false, true);
    beep_->playReconnectBeep();
    const auto reconnect = beep_->player();
    ASSERT_TRUE(waitUntil([&] { return !reconnect->isPlaying(); }));

    beep_->playSpeakingBeep();
    EXPECT_EQ(beep_->player(), reconnect) << "a finished tone still held blocks the next";
    beep_->dropPlayer();
    beep_->playSpeakingBeep();
    EXPECT_TRUE(holds(beep_->player(), "talking_bee.wav"));
}

TEST_F(BeepTest, ReplayPlaysWhateverIsHeldThen) {
    enable(true, false, true);
    beep_->playSpeakingBeep();
    ASSERT_TRUE(waitUntil([&] { return queue_.count() == 1; }));
    beep_->playReconnectBeep();
    const auto reconnect = beep_->player();
    ASSERT_TRUE(holds(reconnect, "reconnect_bee.wav"));
    ASSERT_TRUE(waitUntil([&] { return !reconnect->isPlaying(); }));
    queue_.run(0);
    EXPECT_TRUE(reconnect->isPlaying()) << "the reconnect tone sounds a second time";
}

TEST_F(BeepTest, RingReplacesTheSpeakingToneAndLoopsUntilDropped) {
    enable(true, true, false);
    beep_->playSpeakingBeep();
    const std::weak_ptr<AudioPlayer> speaking = beep_->player();
    ASSERT_FALSE(speaking.expired());
    beep_->playCallingRing();
    const auto ring = beep_->player();
    ASSERT_TRUE(holds(ring, "call_bee.wav"));
    // Dropping a player closes its device, which silences it.
    EXPECT_TRUE(waitUntil([&] { return speaking.expired(); })) << "replaced at once";

    // A single pass of the ring takes 35 ms at this pace; it is still ringing many passes on.
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(ring->isPlaying());
    beep_->dropPlayer();
    EXPECT_FALSE(ring->isPlaying());
}

TEST_F(BeepTest, RingSwitchedOffLeavesTheSpeakingToneAlone) {
    enable(true, false, false);
    beep_->playSpeakingBeep();
    const auto speaking = beep_->player();
    beep_->playCallingRing();
    EXPECT_EQ(beep_->player(), speaking);
}

TEST_F(BeepTest, EachReconnectToneIsANewPlayerFromTheStart) {
    enable(false, false, true);
    beep_->playReconnectBeep();
    const auto first = beep_->player();
    beep_->playReconnectBeep();
    const auto second = beep_->player();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    EXPECT_TRUE(second->isPlaying());
}

TEST_F(BeepTest, ThreadsStartingAndDroppingTonesAgreeOnOnePlayer) {
    enable(true, true, true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 10; ++i) {
                switch ((t + i) % 4) {
                    case 0:
                        beep_->playSpeakingBeep();
                        break;
                    case 1:
                        beep_->playReconnectBeep();
                        break;
                    case 2:
                        beep_->playCallingRing();
                        break;
                    default:
                        beep_->dropPlayer();
                        break;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    beep_->dropPlayer();
    EXPECT_FALSE(beep_->player());
}
