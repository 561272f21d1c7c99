// The talk state is written on the main thread while the recorder's timer routes blocks and
// the connection's thread plays voice and drops the player; ThreadSanitizer checks the locks.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "audio/TalkConsole.h"
#include "model/UserInfo.h"
#include "net/signalling/TCPSocket.h"
#include "platform/KeyValueStore.h"

namespace intercom {
namespace {

TEST(TalkConsoleConcurrency, RoutingPlaybackAndStateChangesOverlapSafely) {
    UserInfo user;
    user.id = 1;
    user.sceneId = 1;
    ASSERT_TRUE(user.save());
    // Port 9 (discard) on loopback never answers: frames are built, then dropped.
    TCPSocket socket("127.0.0.1", 9);
    std::atomic<int> handedToInterface{0};
    std::atomic<int> partnerAsked{0};
    const auto console = TalkConsole::create(
        socket,
        [&] {
            ++partnerAsked;
            return std::optional<std::int64_t>(2);
        },
        [&](Bytes amr) {
            EXPECT_EQ(amr.size(), 64u);
            ++handedToInterface;
        });

    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            const Bytes block(64, 0x3C);
            while (!stop) {
                console->sendCapturedAudio(block);
            }
        });
    }
    threads.emplace_back([&] {
        const Bytes voice(64, 0x3C);
        while (!stop) {
            console->startPlayer();
            console->play(voice);
            console->stopPlayer();
        }
    });
    const Message modes[] = {Message::audioChannels, Message::audioSmallBroadcast,
                             Message::audioBigBroadcast, Message::audioChat};
    // On a busy machine the workers may not have run yet after the first few thousand
    // changes: go on until they have routed something, so that the overlap really happened.
    for (int i = 0; i < 4000 || (handedToInterface + partnerAsked == 0 && i < 4'000'000); ++i) {
        Page page;
        page.groups.resize(static_cast<std::size_t>(i % 4));
        console->setPage(page);
        console->setAudioMessage(modes[i % 4]);
        console->setSingleSpeakingGroup(i % 3 == 0 ? std::optional<Group>(Group{}) : std::nullopt);
        console->setSpeaking(i % 2 == 0);
    }
    stop = true;
    for (auto& thread : threads) {
        thread.join();
    }
    console->stopPlayer();
    EXPECT_GT(handedToInterface + partnerAsked, 0);
    KeyValueStore::standard().remove("UserInfo");
}

}  // namespace
}  // namespace intercom
