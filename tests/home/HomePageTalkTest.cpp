// The talk console against a recording peer: every check is on the frames the client sent.
#include <QApplication>
#include <QLayout>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "../ui/UiTestSupport.h"
#include "HomePageFixture.h"
#include "net/api/APIConfig.h"
#include "net/signalling/ByteOrder.h"
#include "platform/audio/VoiceFormat.h"
#include "platform/dispatch/MainQueue.h"
#include "support/FifoMicrophone.h"
#include "support/KernelWait.h"
#include "ui/TTExtension.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/SpeakChannelButton.h"
#include "ui/controls/TTDoubleClickButton.h"

namespace intercom::test {
namespace {

using namespace std::chrono_literals;

class HomePageTalk : public HomePageFixture {
  protected:
    QString status() const { return page_->speakingStatusBtn()->text(); }
    QString statusColor() const { return page_->speakingStatusBtn()->styleSheet(); }
    SpeakChannelButton* speak(int index) const {
        return button<SpeakChannelButton>(page_->speakPanel(), index);
    }
    ListenChannelButton* listen(int index) const {
        return button<ListenChannelButton>(page_->listenPanel(), index);
    }
    // True when the capture has stopped. A frame sent once the stop's queued work has run
    // follows every block the capture sent; after it, the heartbeat, paused while capturing,
    // beats twice with no voice in between.
    bool voiceStopped() {
        runQueuedWork();
        const auto dodges = peer_.framesOf(Message::channelPriorityDodge).size();
        socket_->sendChannelDodge();
        if (!waitUntil(
                [&] { return peer_.framesOf(Message::channelPriorityDodge).size() > dodges; })) {
            return false;
        }
        const auto voice = voiceFrames().size();
        const auto before = pings();
        return waitUntil([&] { return pings() > before + 1; }) && voiceFrames().size() == voice;
    }
};

TEST_F(HomePageTalk, SmallBroadcastStartsAndEndsWithItsStatusAndPausesTheHeartbeat) {
    openRecorded();
    EXPECT_EQ(status(), "双击通话");
    EXPECT_TRUE(statusColor().contains("#aaaaaa"));

    doubleClick(page_->smallSpeakerBtn());
    EXPECT_TRUE(page_->isSpeaking());
    EXPECT_EQ(page_->audioMessage(), Message::audioSmallBroadcast);
    ASSERT_TRUE(waitUntil([&] { return status() == "小广播"; }));
    EXPECT_TRUE(statusColor().contains("#ffffff"));
    const SentVoice voice = nextBlock(Message::audioSmallBroadcast);
    EXPECT_EQ(voice.id, 1);
    EXPECT_EQ(voice.sceneId, 1);
    EXPECT_EQ(voice.groups, kFirstPageGroups);
    EXPECT_EQ(voice.voiceBytes, 64u);
    const auto pingsWhileTalking = pings();
    // Thirteen more blocks are half a second of the microphone, three beats of the heartbeat,
    // however slowly a busy machine captures them.
    ASSERT_GE(nextVoiceFrames(13).size(), 13u);
    EXPECT_EQ(pings(), pingsWhileTalking) << "no heartbeat while capturing";

    doubleClick(page_->smallSpeakerBtn());
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_EQ(page_->audioMessage(), Message::audioChannels);
    EXPECT_FALSE(page_->console()->recorder());
    ASSERT_TRUE(waitUntil([&] { return status() == "双击通话"; }));
    EXPECT_TRUE(statusColor().contains("#aaaaaa"));
    EXPECT_TRUE(voiceStopped());
    EXPECT_TRUE(waitUntil([&] { return pings() > pingsWhileTalking; })) << "heartbeat restarted";
}

TEST_F(HomePageTalk, SmallBroadcastWaitsForAPageWithGroups) {
    // Nothing answers the page request: the page stays without groups.
    api::setAPIBaseURL("http://127.0.0.1:9");
    create(peer_.port());
    ASSERT_TRUE(page_);
    EXPECT_FALSE(page_->smallSpeakerBtn()->isEnabled()) << "before any page";
    ASSERT_TRUE(waitUntil([&] { return lastNotice() == "服务器错误"; }));
    ASSERT_TRUE(waitUntil([&] { return socket_->isConnected(); }));
    doubleClick(page_->smallSpeakerBtn());
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_EQ(status(), "双击通话");
    EXPECT_TRUE(voiceStopped());
    EXPECT_TRUE(voiceFrames().empty());

    api::setAPIBaseURL("http://127.0.0.1:" + std::to_string(server_->httpPort()));
    page_->setPageNum(1);
    waitForPage(1);
    EXPECT_TRUE(page_->smallSpeakerBtn()->isEnabled());
    doubleClick(page_->smallSpeakerBtn());
    EXPECT_TRUE(page_->console()->recorder());
    ASSERT_TRUE(waitUntil([&] { return status() == "小广播"; }));
    EXPECT_EQ(nextBlock(Message::audioSmallBroadcast).groups, kFirstPageGroups);
}

TEST_F(HomePageTalk, BigThenSmallBroadcastRedirectsTheRunningCapture) {
    openRecorded();
    doubleClick(page_->bigSpeakerBtn());
    const auto recorder = page_->console()->recorder();
    ASSERT_TRUE(recorder);
    SentVoice voice = nextBlock(Message::audioBigBroadcast);
    EXPECT_EQ(voice.id, 1);
    EXPECT_EQ(voice.voiceBytes, 64u) << "the voice follows the scene id directly";
    ASSERT_TRUE(waitUntil([&] { return status() == "大广播"; }));

    doubleClick(page_->smallSpeakerBtn());
    EXPECT_EQ(page_->console()->recorder(), recorder) << "capture was not restarted";
    voice = nextBlock(Message::audioSmallBroadcast);
    EXPECT_EQ(voice.groups, kFirstPageGroups);

    // The talk button ends any talk, a broadcast included.
    doubleClick(page_->floatingBtn());
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_EQ(page_->audioMessage(), Message::audioChannels);
}

TEST_F(HomePageTalk, TalkButtonWithoutTargetAsksForAChannel) {
    openRecorded();
    doubleClick(page_->floatingBtn());
    EXPECT_EQ(lastNotice(), "请先开启语音通道！");
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_TRUE(voiceStopped());
    EXPECT_TRUE(voiceFrames().empty());
}

TEST_F(HomePageTalk, SingleGroupTalkMovesBetweenChannelsAndEnds) {
    openRecorded();
    doubleClick(speak(0));
    EXPECT_EQ(page_->singleSpeakingGroup()->id, 101);
    ASSERT_TRUE(waitUntil([&] { return status() == "单组通话中"; }));
    EXPECT_EQ(nextBlock(Message::audioChannels).groups, std::vector<std::int64_t>{101});
    const auto recorder = page_->console()->recorder();

    doubleClick(speak(2));
    EXPECT_FALSE(speak(0)->isDoubleClickSelect());
    EXPECT_EQ(speak(0)->backgroundColor(), defaultButtonColor());
    EXPECT_TRUE(speak(2)->isDoubleClickSelect());
    EXPECT_EQ(page_->console()->recorder(), recorder);
    EXPECT_EQ(nextBlock(Message::audioChannels).groups, std::vector<std::int64_t>{103});

    doubleClick(speak(2));
    EXPECT_FALSE(page_->singleSpeakingGroup());
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_TRUE(voiceStopped());
}

TEST_F(HomePageTalk, ChannelTalkFollowsTheSelectedChannelsInPanelOrder) {
    openRecorded();
    click(speak(2));
    click(speak(0));
    ASSERT_TRUE(speak(0)->isClickSelect() && speak(2)->isClickSelect());
    doubleClick(page_->floatingBtn());
    ASSERT_TRUE(waitUntil([&] { return status() == "通话中"; }));
    SentVoice voice = nextBlock(Message::audioChannels);
    EXPECT_EQ(voice.groups, (std::vector<std::int64_t>{101, 103}));

    click(speak(2));
    // Blocks already on their way still name both groups; the ones routed after the click
    // name the one still selected.
    const std::vector<std::int64_t> remaining{101};
    EXPECT_TRUE(waitUntil([&] {
        const auto frames = voiceFrames();
        return !frames.empty() && readVoice(frames.back()).groups == remaining;
    }));
    voice = nextBlock(Message::audioChannels);
    EXPECT_EQ(voice.groups, remaining);

    click(speak(0));
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_TRUE(voiceStopped());
}

TEST_F(HomePageTalk, ReconnectAnnouncesTheListenChannelsInPanelOrder) {
    openRecorded();
    click(listen(0));
    click(listen(2));
    doubleClick(listen(2));
    ASSERT_TRUE(
        waitUntil([&] { return peer_.framesOf(Message::channelListenerPress).size() == 1; }));
    const auto before = peer_.frames().size();

    peer_.drop();
    ASSERT_TRUE(waitUntil([&] { return peer_.connections() == 2 && socket_->isConnected(); }));
    ASSERT_TRUE(waitUntil([&] {
        return peer_.framesOf(Message::channelListenerTap).size() == 4 &&
               peer_.framesOf(Message::channelListenerPress).size() == 2;
    }));
    std::vector<std::pair<Message, std::int64_t>> announced;
    const auto frames = peer_.frames();
    for (std::size_t i = before; i < frames.size(); ++i) {
        const auto& frame = frames[i].frame;
        if (frame.type == Message::channelListenerTap ||
            frame.type == Message::channelListenerPress) {
            const auto& p = frame.payload;
            EXPECT_EQ(bigEndianInt32(std::span(p).subspan(12)), 1) << "flag";
            announced.emplace_back(frame.type, bigEndianInt32(std::span(p).subspan(8)));
        }
    }
    const std::vector<std::pair<Message, std::int64_t>> expected = {
        {Message::channelListenerTap, 101},
        {Message::channelListenerTap, 103},
        {Message::channelListenerPress, 103}};
    EXPECT_EQ(announced, expected);
}

TEST_F(HomePageTalk, ConnectionLossEndsTheTalkButKeepsTheMode) {
    openRecorded();
    click(speak(1));
    doubleClick(page_->bigSpeakerBtn());
    nextBlock(Message::audioBigBroadcast);
    ASSERT_TRUE(page_->console()->player());

    peer_.drop();
    ASSERT_TRUE(waitUntil([&] { return !page_->isSpeaking() && !page_->console()->recorder(); }));
    EXPECT_EQ(page_->audioMessage(), Message::audioBigBroadcast);
    ASSERT_TRUE(waitUntil([&] { return status() == "双击通话"; }));

    ASSERT_TRUE(waitUntil([&] { return socket_->isConnected() && page_->console()->player(); }));
    doubleClick(page_->floatingBtn());
    EXPECT_EQ(nextBlock(Message::audioBigBroadcast).id, 1) << "the broadcast resumes";
}

// A talk double click that lands while a connection loss is being handled, inside the old
// player's device close, races the loss's end of the talk. Whichever wins, the screen and the
// microphone agree afterwards: either idle and silent, or talking with its voice going out;
// never "双击通话" on screen while the microphone runs on and its voice reaches the channels
// after the reconnect.
TEST_F(HomePageTalk, ATalkClickRacingAConnectionLossLeavesScreenAndMicrophoneAgreeing) {
    openRecorded();
    click(speak(0));
    int idle = 0;
    int talking = 0;
    // Held weakly: the test must not keep a player that the loss drops.
    std::weak_ptr<AudioQueuePlayer> player = page_->console()->player();
    for (int round = 0; round < 8; ++round) {
        const int connections = peer_.connections();
        peer_.drop();
        // Every other click lands once the loss has taken the player, while its device still
        // closes or, on a slow machine, once the reconnect has brought a new one; the others
        // as the loss is on its way.
        if (round % 2 == 0) {
            ASSERT_TRUE(waitUntil([&] {
                const auto now = page_->console()->player();
                return !now || now.owner_before(player) || player.owner_before(now);
            }));
        }
        doubleClick(page_->floatingBtn());
        ASSERT_TRUE(waitUntil([&] {
            return peer_.connections() == connections + 1 && socket_->isConnected() &&
                   page_->console()->player();
        }));
        player = page_->console()->player();
        // Both the click's and the loss's refresh have run.
        runQueuedWork();
        if (page_->isSpeaking()) {
            ++talking;
            EXPECT_TRUE(page_->console()->recorder()) << "round " << round;
            EXPECT_EQ(status(), "通话中") << "round " << round;
            EXPECT_EQ(nextBlock(Message::audioChannels).groups, std::vector<std::int64_t>{101});
            doubleClick(page_->floatingBtn());
            EXPECT_TRUE(voiceStopped()) << "round " << round;
        } else {
            ++idle;
            EXPECT_EQ(status(), "双击通话") << "round " << round;
            EXPECT_TRUE(voiceStopped()) << "voice goes out while idle on screen, round " << round;
            EXPECT_FALSE(page_->console()->recorder()) << "round " << round;
        }
        ASSERT_FALSE(page_->console()->recorder());
    }
    std::cout << "rounds ending idle: " << idle << ", talking: " << talking << '\n';
}

// The microphone stops delivering during a talk, as a sound server's source can: SDL's
// capture thread then waits inside the driver for good, and closing its device would wait
// with it. Ending the talk must not wait: the window goes on serving what the rest of the
// client hands it, the talk ends on screen, and other devices still open (the player after
// a reconnect) while the microphone stays stuck.
TEST_F(HomePageTalk, AMicrophoneThatStopsDeliveringLetsTheTalkEndAndTheWindowAnswer) {
    FifoMicrophone microphone(audioFolder_.path() / "microphone.fifo");
    ::setenv("SDL_DISKAUDIOFILEIN", microphone.path().c_str(), 1);
    microphone.openWriter();
    microphone.write(Bytes(VoiceFormat::kBlockBytes * 10, 0x11));
    openRecorded();
    doubleClick(page_->smallSpeakerBtn());
    ASSERT_TRUE(waitUntil([&] { return status() == "小广播"; }));
    ASSERT_TRUE(waitUntil([] { return threadWaitsIn("pipe_read"); }))
        << "the capture waits for a microphone that sends nothing";

    // Work that the other threads hand to the window, counted as the window does it.
    const auto served = std::make_shared<std::atomic<int>>(0);
    std::atomic<bool> stopPosting{false};
    std::thread poster([&] {
        while (!stopPosting) {
            dispatch::mainQueue().async([served] { ++*served; });
            std::this_thread::sleep_for(5ms);
        }
    });
    // Only the end of the microphone's file frees a close that waits with the capture
    // thread: if the window's thread is caught in one, a watchdog frees it after ten seconds,
    // and the count says how much the window served until then.
    std::mutex watch;
    std::condition_variable watched;
    bool done = false;
    int servedUntilFreed = 0;
    std::thread watchdog([&] {
        std::unique_lock lock(watch);
        watched.wait_for(lock, 10s, [&] { return done; });
        servedUntilFreed = *served;
        microphone.closeWriter();
    });

    const int servedBeforeEnd = *served;
    doubleClick(page_->smallSpeakerBtn());
    waitUntil([&] { return *served >= servedBeforeEnd + 20; });
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_EQ(status(), "双击通话");
    const int connections = peer_.connections();
    peer_.drop();
    EXPECT_TRUE(waitUntil([&] {
        return peer_.connections() == connections + 1 && page_->console()->player();
    })) << "a device opens while another one's close waits";
    EXPECT_TRUE(threadWaitsIn("pipe_read")) << "the microphone was stuck all along";
    {
        std::lock_guard lock(watch);
        done = true;
    }
    watched.notify_one();
    watchdog.join();
    stopPosting = true;
    poster.join();
    EXPECT_GE(servedUntilFreed - servedBeforeEnd, 20) << "the window stopped answering";
}

TEST_F(HomePageTalk, MicrophoneThatCannotStartLeavesTheLatchOff) {
    ::setenv("SDL_DISKAUDIOFILEIN", (audioFolder_.path() / "missing.raw").c_str(), 1);
    openRecorded();
    doubleClick(page_->smallSpeakerBtn());
    EXPECT_EQ(lastNotice(), "麦克风不可用");
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_EQ(page_->audioMessage(), Message::audioChannels);
    QApplication::processEvents();
    EXPECT_EQ(status(), "双击通话");
    EXPECT_TRUE(voiceFrames().empty());
    const auto before = pings();
    EXPECT_TRUE(waitUntil([&] { return pings() > before; })) << "the heartbeat goes on";
}

}  // namespace
}  // namespace intercom::test
