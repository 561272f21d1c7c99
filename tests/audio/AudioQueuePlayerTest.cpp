#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/AudioQueuePlayer.h"
#include "platform/audio/VoiceFormat.h"

using namespace std::chrono_literals;
using intercom::AudioQueuePlayer;
using intercom::AudioTool;
using intercom::Bytes;
using namespace intercom::test;

namespace {

constexpr std::size_t kBlock = intercom::VoiceFormat::kBlockBytes;

std::size_t waiting(const AudioQueuePlayer& player) {
    return player.waitingBlocks().size();
}

void append(AudioQueuePlayer& player, Bytes block) {
    player.append(std::move(block));
}

// The disk driver writes through a stdio buffer; once the file has grown by this much
// after a block left the list, the block and many buffers after it have been played.
bool playedOnFor(const DiskAudio& disk, std::uintmax_t bytes) {
    const auto start = fileSize(disk.speaker());
    return waitUntil([&] { return fileSize(disk.speaker()) >= start + bytes; });
}

// The player's output queue on the speaker's clock: each time a buffer comes back, the
// player refills it and then the blocks due after that refill arrive, so voice comes at
// exactly the speaker's pace however the machine schedules the test.
class PacedOutput {
  public:
    explicit PacedOutput(std::vector<int> arrivals) : arrivals_(std::move(arrivals)) {}

    // A player on a queue of this clock; null when no output device opens.
    std::unique_ptr<AudioQueuePlayer> openPlayer() {
        auto queue = intercom::AudioQueue::newOutput(&PacedOutput::callback, this);
        if (!queue) {
            return nullptr;
        }
        auto player = std::make_unique<AudioQueuePlayer>(std::move(queue));
        player_ = player.get();
        return player;
    }
    int refills() {
        std::lock_guard lock(mutex_);
        return refills_;
    }
    // For each block sent, in order, the refill it arrived after; block i is patternBlock(i + 1).
    std::vector<int> sent() {
        std::lock_guard lock(mutex_);
        return sent_;
    }

  private:
    static void callback(void* userData, intercom::AudioQueue* /*queue*/,
                         intercom::AudioQueueBuffer* buffer) {
        auto* self = static_cast<PacedOutput*>(userData);
        self->player_->handleOutputBuffer(buffer);
        std::lock_guard lock(self->mutex_);
        const int refill = self->refills_++;
        const int due =
            refill < static_cast<int>(self->arrivals_.size()) ? self->arrivals_[refill] : 0;
        for (int i = 0; i < due; ++i) {
            self->sent_.push_back(refill);
            self->player_->append(patternBlock(kBlock, static_cast<int>(self->sent_.size())));
        }
    }

    const std::vector<int> arrivals_;
    AudioQueuePlayer* player_ = nullptr;
    std::mutex mutex_;
    int refills_ = 0;
    std::vector<int> sent_;
};

Bytes encodedSpeech(std::size_t pcmBytes) {
    return AudioTool::shared().encode(patternBlock(pcmBytes, 5));
}

}  // namespace

TEST(AudioQueuePlayer, PlaysBlocksInOrderWithSilenceBetweenAndAfter) {
    const DiskAudio disk;
    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->isOpen());
    ASSERT_EQ(player->bufferCount(), 3U);
    ASSERT_TRUE(player->start());

    // Shorter than one frame: queues nothing, and above all keeps every buffer circulating,
    // or the blocks below would never be heard.
    player->play(Bytes(20, 0x3C));
    EXPECT_EQ(waiting(*player), 0U);

    const Bytes first = patternBlock(kBlock, 1);
    const Bytes second = patternBlock(kBlock / 2, 2);
    const Bytes third = patternBlock(kBlock, 3);
    append(*player, first);
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    append(*player, second);
    append(*player, third);
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    player->stop();
    player.reset();

    const Bytes out = readFile(disk.speaker());
    const auto a = find(out, first);
    ASSERT_TRUE(a.has_value());
    const auto b = find(out, second, *a + first.size());
    ASSERT_TRUE(b.has_value());
    const auto c = find(out, third, *b + second.size());
    ASSERT_TRUE(c.has_value());

    EXPECT_TRUE(isSilent(out, 0, *a)) << "only silence comes before the first block";
    const auto between = *b - (*a + first.size());
    EXPECT_GE(between, kBlock);
    EXPECT_EQ(between % kBlock, 0U) << "the wait is filled with whole buffers of silence";
    EXPECT_TRUE(isSilent(out, *a + first.size(), *b));
    EXPECT_EQ(*c, *b + second.size()) << "a short block plays for its own length, no gap";
    EXPECT_GE(out.size(), *c + third.size() + kBlock);
    EXPECT_TRUE(isSilent(out, *c + third.size(), out.size()));
}

TEST(AudioQueuePlayer, AfterABurstVoiceIsLiveAgainWhileItsPaceLosesNothing) {
    const DiskAudio disk;
    // Blocks arrive on the speaker's own clock: after refill n, arrivals[n] new blocks.
    std::vector<int> arrivals(10, 0);
    arrivals.push_back(1);  // into an idle player: the design's depth
    arrivals.resize(20, 0);
    // At the pace of speech but unevenly: two or three at once, then none; and once a block
    // that comes late, with the next, after its buffer went out as silence.
    const std::vector<int> uneven{2, 0, 1, 3, 0, 0, 1, 1};
    for (int round = 0; round < 8; ++round) {
        arrivals.insert(arrivals.end(), uneven.begin(), uneven.end());
        if (round == 4) {
            arrivals.insert(arrivals.end(), {1, 0, 2, 1});
        }
    }
    arrivals.resize(arrivals.size() + 5, 0);
    // A burst of 20 on top of the pace, then one of 3, each followed by the pace alone.
    const auto firstBurst = static_cast<int>(arrivals.size());
    constexpr int kPaced = 45;
    const int secondBurst = firstBurst + kPaced;
    for (int i = 0; i < 2 * kPaced; ++i) {
        const int at = firstBurst + i;
        arrivals.push_back(1 + (at == firstBurst ? 20 : 0) + (at == secondBurst ? 3 : 0));
    }
    arrivals.resize(arrivals.size() + 10, 0);
    const auto refills = static_cast<int>(arrivals.size());

    PacedOutput output(arrivals);
    auto player = output.openPlayer();
    ASSERT_TRUE(player);
    ASSERT_EQ(player->bufferCount(), 3U);
    ASSERT_TRUE(player->start());
    ASSERT_TRUE(waitUntil([&] { return output.refills() >= refills; }, 30000));
    player->stop();
    player.reset();

    // Where each block was heard, in buffers after the refill that it arrived behind.
    const Bytes out = readFile(disk.speaker());
    const auto sent = output.sent();
    std::vector<std::optional<long>> delay;
    std::size_t from = 0;
    for (std::size_t id = 0; id < sent.size(); ++id) {
        const auto at = find(out, patternBlock(kBlock, static_cast<int>(id) + 1), from);
        delay.emplace_back();
        if (at) {
            delay.back() = static_cast<long>(*at / kBlock) - sent[id];
            from = *at + kBlock;
        }
    }
    ASSERT_TRUE(delay[0].has_value());
    const long depth = *delay[0];
    const auto firstOf = [&](int refill) {
        return static_cast<std::size_t>(
            std::find_if(sent.begin(), sent.end(), [&](int r) { return r >= refill; }) -
            sent.begin());
    };

    const auto burst = firstOf(firstBurst);
    for (std::size_t id = 1; id < burst; ++id) {
        ASSERT_TRUE(delay[id].has_value()) << "block " << id << " lost at the pace of speech";
        EXPECT_LE(*delay[id], depth + 3) << "block " << id;
    }
    // The 300 ms bound keeps the newest 7 of the burst and the block that came with it.
    for (std::size_t id = burst; id < burst + 21; ++id) {
        EXPECT_EQ(delay[id].has_value(), id >= burst + 14) << "burst block " << id - burst;
    }
    for (const int start : {firstBurst, secondBurst}) {
        // A second and a bit later, every block is heard again after the design's depth.
        const auto live = firstOf(start + 30);
        const auto end = firstOf(start + kPaced);
        std::size_t lost = 0;
        for (std::size_t id = firstOf(start + 1); id < live; ++id) {
            lost += delay[id].has_value() ? 0 : 1;
        }
        EXPECT_LE(lost, start == firstBurst ? 6U : 3U) << "no more is dropped than the backlog";
        for (std::size_t id = live; id < end; ++id) {
            ASSERT_TRUE(delay[id].has_value()) << "block " << id << " lost after catching up";
            EXPECT_EQ(*delay[id], depth)
                << "block " << id << ", " << sent[id] - start << " refills after the burst";
        }
    }
}

TEST(AudioQueuePlayer, PlayDecodesAtMostOneVoiceBlock) {
    const DiskAudio disk;
    AudioQueuePlayer player;
    const Bytes amr = encodedSpeech(1280);  // four frames, 128 bytes
    ASSERT_EQ(amr.size(), 128U);

    player.play(Bytes(amr.begin(), amr.begin() + 64));
    player.play(Bytes(amr.begin(), amr.begin() + 100));
    player.play(Bytes(amr.begin(), amr.begin() + 40));
    player.play(Bytes(amr.begin(), amr.begin() + 31));
    player.play(Bytes());

    const auto waiting = player.waitingBlocks();
    ASSERT_EQ(waiting.size(), 3U);
    EXPECT_EQ(waiting[0].size(), kBlock);
    EXPECT_EQ(waiting[1].size(), kBlock) << "bytes past 64 are dropped";
    EXPECT_EQ(waiting[2].size(), kBlock / 2);
}

TEST(AudioQueuePlayer, DecodedVoiceReachesTheSpeaker) {
    const DiskAudio disk;
    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->start());
    const Bytes amr = AudioTool::shared().encode(patternBlock(kBlock * 5, 9));
    for (std::size_t at = 0; at < amr.size(); at += 64) {
        player->play(
            Bytes(amr.begin() + static_cast<long>(at), amr.begin() + static_cast<long>(at) + 64));
    }
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    player->stop();
    player.reset();

    const Bytes out = readFile(disk.speaker());
    const auto loud = std::count_if(out.begin(), out.end(), [](auto b) { return b != 0; });
    EXPECT_GT(loud, static_cast<long>(kBlock)) << "five decoded blocks of sound, not silence";
}

TEST(AudioQueuePlayer, NothingQueuedPlaysSilence) {
    const DiskAudio disk;
    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->start());
    ASSERT_TRUE(playedOnFor(disk, 8192));
    player->stop();
    player.reset();
    const Bytes out = readFile(disk.speaker());
    EXPECT_GE(out.size(), 8192U);
    EXPECT_TRUE(isSilent(out, 0, out.size()));
}

TEST(AudioQueuePlayer, StoppedPlayerStillQueuesButPlaysNothing) {
    const DiskAudio disk;
    AudioQueuePlayer player;
    ASSERT_TRUE(player.start());
    player.stop();
    player.play(encodedSpeech(kBlock));
    append(player, patternBlock(kBlock, 4));
    EXPECT_EQ(waiting(player), 2U);
}

TEST(AudioQueuePlayer, DroppingAPlayerWhoseQueueRunsIsSafe) {
    // The driver renders back to back, so an output callback is almost always running
    // when the player goes away.
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    ::setenv("SDL_DISKAUDIODELAY", "0", 1);
    for (int i = 0; i < 20; ++i) {
        auto player = std::make_unique<AudioQueuePlayer>();
        ASSERT_TRUE(player->start());
        append(*player, patternBlock(kBlock, i + 1));
        ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
        player.reset();
    }
}

// Around a reconnect the old player may still decode while the new one starts, and devices
// open, pause and close on several threads at once; ThreadSanitizer watches this run.
TEST(AudioQueuePlayer, PlayersComeAndGoAndDecodeOnSeveralThreadsAtOnce) {
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    const Bytes amr = encodedSpeech(kBlock);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&amr] {
            for (int round = 0; round < 5; ++round) {
                AudioQueuePlayer player;
                player.start();
                for (int i = 0; i < 50; ++i) {
                    player.play(amr);
                }
                player.stop();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    AudioQueuePlayer after;
    after.play(amr);
    const auto waiting = after.waitingBlocks();
    ASSERT_EQ(waiting.size(), 1U);
    EXPECT_EQ(waiting.front().size(), kBlock) << "the decoder still works afterwards";
}
