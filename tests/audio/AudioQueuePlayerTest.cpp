#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/AudioQueuePlayer.h"
#include "platform/audio/SdlAudio.h"
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

// Voice on the speaker's own clock: unevenly at its pace, once late, from a sender whose clock
// runs fast, and in bursts. Only a backlog that stands for a second is dropped, and only down
// to the three buffers that the player keeps ahead of the speaker: never into the blocks that
// uneven voice needs to play on without a gap.
TEST(AudioQueuePlayer, OnlyABacklogThatLastsIsDroppedAndOnlyDownToTheDepth) {
    const DiskAudio disk;
    // The speaker plays as fast as it can; the voice keeps its pace all the same.
    ::setenv("SDL_DISKAUDIODELAY", "0", 1);

    // After refill n, arrivals[n] new blocks. Each talk is followed by silence, in which the
    // list runs empty.
    struct Talk {
        int from;
        int to;
    };
    std::vector<int> arrivals(10, 0);
    arrivals.push_back(1);  // into an idle player: the design's depth
    arrivals.resize(20, 0);
    const auto talk = [&arrivals](const std::vector<int>& pace) {
        const Talk added{static_cast<int>(arrivals.size()),
                         static_cast<int>(arrivals.size() + pace.size())};
        arrivals.insert(arrivals.end(), pace.begin(), pace.end());
        arrivals.resize(arrivals.size() + 10, 0);
        return added;
    };
    // At the pace of speech but unevenly: two or three at once, then none.
    const std::vector<int> uneven{2, 0, 1, 3, 0, 0, 1, 1};
    const auto unevenFor = [&uneven](int rounds) {
        std::vector<int> pace;
        for (int round = 0; round < rounds; ++round) {
            pace.insert(pace.end(), uneven.begin(), uneven.end());
        }
        return pace;
    };
    // A block that comes late, with the next, after its buffer went out as silence.
    std::vector<int> lateOnce = unevenFor(4);
    lateOnce.insert(lateOnce.end(), {0, 2});
    const auto rest = unevenFor(11);
    lateOnce.insert(lateOnce.end(), rest.begin(), rest.end());
    const Talk late = talk(lateOnce);
    // A sender whose clock runs fast by three blocks a minute: one block more now and then.
    std::vector<int> fast(700, 1);
    fast[100] = fast[600] = 2;
    const Talk drift = talk(fast);
    // Bursts on top of speech at its pace.
    const std::vector<int> sizes{4, 20};
    std::vector<Talk> bursts;
    for (const int size : sizes) {
        std::vector<int> pace(20, 1);
        auto after = unevenFor(10);
        after.front() += size;
        pace.insert(pace.end(), after.begin(), after.end());
        bursts.push_back(talk(pace));
    }
    const auto refills = static_cast<int>(arrivals.size());

    PacedOutput output(arrivals);
    auto player = output.openPlayer();
    ASSERT_TRUE(player);
    ASSERT_EQ(player->bufferCount(), 3U);
    ASSERT_TRUE(player->start());
    ASSERT_TRUE(waitUntil([&] { return output.refills() >= refills; }));
    player.reset();
    ASSERT_TRUE(intercom::sdlaudio::waitForCloses(10s));

    // Where each block was heard, in buffers of the speaker's file.
    const Bytes out = readFile(disk.speaker());
    const auto sent = output.sent();
    std::vector<std::optional<long>> heardAt;
    std::size_t from = 0;
    for (std::size_t id = 0; id < sent.size(); ++id) {
        const auto at = find(out, patternBlock(kBlock, static_cast<int>(id) + 1), from);
        heardAt.emplace_back();
        if (at) {
            ASSERT_EQ(*at % kBlock, 0U);
            heardAt.back() = static_cast<long>(*at / kBlock);
            from = *at + kBlock;
        }
    }
    ASSERT_TRUE(heardAt[0].has_value());
    const long depth = *heardAt[0] - sent[0];
    // The blocks of a talk that came after refill `first` and up to `last`.
    const auto blocksOf = [&sent](int first, int last) {
        std::vector<std::size_t> ids;
        for (std::size_t id = 0; id < sent.size(); ++id) {
            if (sent[id] >= first && sent[id] < last) {
                ids.push_back(id);
            }
        }
        return ids;
    };
    const auto lost = [&heardAt](const std::vector<std::size_t>& ids) {
        return std::count_if(ids.begin(), ids.end(), [&](auto id) { return !heardAt[id]; });
    };
    // Buffers of silence between the first and the last block heard of `ids`.
    const auto gaps = [&](const std::vector<std::size_t>& ids) {
        std::vector<long> heard;
        for (const auto id : ids) {
            if (heardAt[id]) {
                heard.push_back(*heardAt[id]);
            }
        }
        const auto [first, last] = std::minmax_element(heard.begin(), heard.end());
        return (*last - *first + 1) - static_cast<long>(heard.size());
    };

    EXPECT_EQ(lost(blocksOf(late.from, late.to)), 0) << "a late block is no burst";
    const auto drifting = blocksOf(drift.from, drift.to);
    EXPECT_EQ(lost(drifting), 0) << "a fast sender's clock is no burst";
    EXPECT_EQ(gaps(drifting), 0);
    for (std::size_t i = 0; i < bursts.size(); ++i) {
        const auto ids = blocksOf(bursts[i].from, bursts[i].to);
        EXPECT_EQ(lost(ids), sizes[i]) << "the burst of " << sizes[i] << " is what goes";
        EXPECT_EQ(gaps(ids), 0) << "dropped below the depth after a burst of " << sizes[i];
        // From 1.2 s after the burst on, voice is heard after the design's depth again, the
        // second or third of those that came at once one or two buffers later.
        for (const auto id : blocksOf(bursts[i].from + 20 + 30, bursts[i].to)) {
            ASSERT_TRUE(heardAt[id].has_value()) << "block " << id << " lost after the catch-up";
            const long delay = *heardAt[id] - sent[id];
            EXPECT_GE(delay, depth);
            EXPECT_LE(delay, depth + 2) << "block " << id << ", after a burst of " << sizes[i];
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
