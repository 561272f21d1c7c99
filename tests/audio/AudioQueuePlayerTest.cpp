#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/AudioQueuePlayer.h"

using namespace std::chrono_literals;
using intercom::AudioQueuePlayer;
using intercom::AudioTool;
using intercom::Bytes;
using namespace intercom::test;

namespace {

std::size_t waiting(AudioQueuePlayer& player) {
    std::lock_guard lock(player.syncLock);
    return player.dataList.size();
}

void append(AudioQueuePlayer& player, Bytes block) {
    player.append(std::move(block));
}

// Where each of `blocks` numbered blocks was heard, in the order heard; -1 for one not heard.
std::vector<int> heardBlocks(const Bytes& out, int blocks) {
    std::vector<int> heard;
    std::size_t from = 0;
    for (int i = 0; i < blocks; ++i) {
        if (const auto at = find(out, patternBlock(640, i + 1), from)) {
            heard.push_back(i);
            from = *at + 640;
        }
    }
    return heard;
}

// The disk driver writes through a stdio buffer; once the file has grown by this much
// after a block left the list, the block and many buffers after it have been played.
bool playedOnFor(const DiskAudio& disk, std::uintmax_t bytes) {
    const auto start = fileSize(disk.speaker());
    return waitUntil([&] { return fileSize(disk.speaker()) >= start + bytes; });
}

Bytes encodedSpeech(std::size_t pcmBytes) {
    return AudioTool::shared().encode(patternBlock(pcmBytes, 5));
}

}  // namespace

TEST(AudioQueuePlayer, PlaysBlocksInOrderWithSilenceBetweenAndAfter) {
    const DiskAudio disk;
    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->mQueue);
    ASSERT_EQ(player->mBuffers.size(), 3U);
    ASSERT_TRUE(player->mQueue->start());

    // Shorter than one frame: queues nothing, and above all keeps every buffer circulating,
    // or the blocks below would never be heard.
    player->play(Bytes(20, 0x3C));
    EXPECT_EQ(waiting(*player), 0U);

    const Bytes first = patternBlock(640, 1);
    const Bytes second = patternBlock(320, 2);
    const Bytes third = patternBlock(640, 3);
    append(*player, first);
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    append(*player, second);
    append(*player, third);
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    player->mQueue->stop();
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
    EXPECT_GE(between, 640U);
    EXPECT_EQ(between % 640, 0U) << "the wait is filled with whole buffers of silence";
    EXPECT_TRUE(isSilent(out, *a + first.size(), *b));
    EXPECT_EQ(*c, *b + second.size()) << "a short block plays for its own length, no gap";
    EXPECT_GE(out.size(), *c + third.size() + 640);
    EXPECT_TRUE(isSilent(out, *c + third.size(), out.size()));
}

TEST(AudioQueuePlayer, ABurstKeepsOnlyTheNewest300msButTheRealPaceLosesNothing) {
    const DiskAudio disk;
    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->mQueue);
    ASSERT_TRUE(player->mQueue->start());
    for (int i = 0; i < 60; ++i) {
        append(*player, patternBlock(640, i + 1));
    }
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    const auto burstEnd = fileSize(disk.speaker());

    // Then one block per 40 ms, as a single talker sends them, numbered on from 100.
    for (int i = 100; i < 130; ++i) {
        append(*player, patternBlock(640, i + 1));
        std::this_thread::sleep_for(40ms);
    }
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    player->mQueue->stop();
    player.reset();

    const Bytes out = readFile(disk.speaker());
    const Bytes burst(out.begin(), out.begin() + static_cast<long>(burstEnd));
    std::vector<int> newest;
    for (int i = 53; i < 60; ++i) {
        newest.push_back(i);
    }
    EXPECT_EQ(heardBlocks(burst, 60), newest) << "7 blocks, 280 ms, the most that fits in 300 ms";
    const auto paced =
        heardBlocks(Bytes(out.begin() + static_cast<long>(burstEnd), out.end()), 130);
    ASSERT_EQ(paced.size(), 30U) << "nothing is dropped at the pace of speech";
    EXPECT_EQ(paced.front(), 100);
    EXPECT_EQ(paced.back(), 129);
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

    std::lock_guard lock(player.syncLock);
    ASSERT_EQ(player.dataList.size(), 3U);
    EXPECT_EQ(player.dataList[0].size(), 640U);
    EXPECT_EQ(player.dataList[1].size(), 640U) << "bytes past 64 are dropped";
    EXPECT_EQ(player.dataList[2].size(), 320U);
}

TEST(AudioQueuePlayer, DecodedVoiceReachesTheSpeaker) {
    const DiskAudio disk;
    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->mQueue);
    ASSERT_TRUE(player->mQueue->start());
    const Bytes amr = AudioTool::shared().encode(patternBlock(640 * 5, 9));
    for (std::size_t at = 0; at < amr.size(); at += 64) {
        player->play(
            Bytes(amr.begin() + static_cast<long>(at), amr.begin() + static_cast<long>(at) + 64));
    }
    ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
    ASSERT_TRUE(playedOnFor(disk, 8192));
    player->mQueue->stop();
    player.reset();

    const Bytes out = readFile(disk.speaker());
    const auto loud = std::count_if(out.begin(), out.end(), [](auto b) { return b != 0; });
    EXPECT_GT(loud, 640) << "five decoded blocks of sound, not silence";
}

TEST(AudioQueuePlayer, NothingQueuedPlaysSilence) {
    const DiskAudio disk;
    auto player = std::make_unique<AudioQueuePlayer>();
    ASSERT_TRUE(player->mQueue);
    ASSERT_TRUE(player->mQueue->start());
    ASSERT_TRUE(playedOnFor(disk, 8192));
    player->mQueue->stop();
    player.reset();
    const Bytes out = readFile(disk.speaker());
    EXPECT_GE(out.size(), 8192U);
    EXPECT_TRUE(isSilent(out, 0, out.size()));
}

TEST(AudioQueuePlayer, StoppedPlayerStillQueuesButPlaysNothing) {
    const DiskAudio disk;
    AudioQueuePlayer player;
    ASSERT_TRUE(player.mQueue);
    ASSERT_TRUE(player.mQueue->start());
    player.mQueue->stop();
    player.play(encodedSpeech(640));
    append(player, patternBlock(640, 4));
    EXPECT_EQ(waiting(player), 2U);
}

TEST(AudioQueuePlayer, DroppingAPlayerWhoseQueueRunsIsSafe) {
    // The driver renders back to back, so an output callback is almost always running
    // when the player goes away.
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    ::setenv("SDL_DISKAUDIODELAY", "0", 1);
    for (int i = 0; i < 20; ++i) {
        auto player = std::make_unique<AudioQueuePlayer>();
        ASSERT_TRUE(player->mQueue);
        ASSERT_TRUE(player->mQueue->start());
        append(*player, patternBlock(640, i + 1));
        ASSERT_TRUE(waitUntil([&] { return waiting(*player) == 0; }));
        player.reset();
    }
}

// Around a reconnect the old player may still decode while the new one starts, and devices
// open, pause and close on several threads at once; ThreadSanitizer watches this run.
TEST(AudioQueuePlayer, PlayersComeAndGoAndDecodeOnSeveralThreadsAtOnce) {
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    const Bytes amr = encodedSpeech(640);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&amr] {
            for (int round = 0; round < 5; ++round) {
                AudioQueuePlayer player;
                if (player.mQueue) {
                    player.mQueue->start();
                }
                for (int i = 0; i < 50; ++i) {
                    player.play(amr);
                }
                if (player.mQueue) {
                    player.mQueue->stop();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    AudioQueuePlayer after;
    after.play(amr);
    std::lock_guard lock(after.syncLock);
    ASSERT_EQ(after.dataList.size(), 1U);
    EXPECT_EQ(after.dataList.front().size(), 640U) << "the decoder still works afterwards";
}
