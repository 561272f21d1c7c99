// The talk console against a recording peer: every check is on the frames the client sent.
#include <QApplication>
#include <QLayout>

#include "../ui/UiTestSupport.h"
#include "HomePageFixture.h"
#include "net/api/APIConfig.h"
#include "net/signalling/ByteOrder.h"
#include "ui/TTExtension.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/SpeakChannelButton.h"
#include "ui/controls/TTDoubleClickButton.h"

namespace intercom::test {
namespace {

using namespace std::chrono_literals;

class HomePageTalk : public HomePageFixture {
  protected:
    QString status() const { return page->speakingStatusBtn()->text(); }
    QString statusColor() const { return page->speakingStatusBtn()->styleSheet(); }
    SpeakChannelButton* speak(int index) const {
        return button<SpeakChannelButton>(page->speakPanel(), index);
    }
    ListenChannelButton* listen(int index) const {
        return button<ListenChannelButton>(page->listenPanel(), index);
    }
    // True when no voice frame arrives for a while.
    bool voiceStopped() {
        waitUntil([] { return false; }, 150);
        const auto before = voiceFrames().size();
        waitUntil([] { return false; }, 300);
        return voiceFrames().size() == before;
    }
};

TEST_F(HomePageTalk, SmallBroadcastStartsAndEndsWithItsStatusAndPausesTheHeartbeat) {
    openRecorded();
    EXPECT_EQ(status(), "双击通话");
    EXPECT_TRUE(statusColor().contains("#aaaaaa"));

    doubleClick(page->smallSpeakerBtn());
    EXPECT_TRUE(page->isSpeaking());
    EXPECT_EQ(page->audioMessage(), Message::audioSmallBroadcast);
    ASSERT_TRUE(waitUntil([&] { return status() == "小广播"; }));
    EXPECT_TRUE(statusColor().contains("#ffffff"));
    const SentVoice voice = nextBlock(Message::audioSmallBroadcast);
    EXPECT_EQ(voice.id, 1);
    EXPECT_EQ(voice.sceneId, 1);
    EXPECT_EQ(voice.groups, kFirstPageGroups);
    EXPECT_EQ(voice.voiceBytes, 64u);
    const auto pingsWhileTalking = pings();
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(pings(), pingsWhileTalking) << "no heartbeat while capturing";

    doubleClick(page->smallSpeakerBtn());
    EXPECT_FALSE(page->isSpeaking());
    EXPECT_EQ(page->audioMessage(), Message::audioChannels);
    EXPECT_FALSE(page->console()->recorder());
    ASSERT_TRUE(waitUntil([&] { return status() == "双击通话"; }));
    EXPECT_TRUE(statusColor().contains("#aaaaaa"));
    EXPECT_TRUE(voiceStopped());
    EXPECT_TRUE(waitUntil([&] { return pings() > pingsWhileTalking; })) << "heartbeat restarted";
}

TEST_F(HomePageTalk, SmallBroadcastWaitsForAPageWithGroups) {
    // Nothing answers the page request: the page stays without groups.
    api::setAPIBaseURL("http://127.0.0.1:9");
    create(peer.port());
    ASSERT_TRUE(page);
    EXPECT_FALSE(page->smallSpeakerBtn()->isEnabled()) << "before any page";
    ASSERT_TRUE(waitUntil([&] { return lastNotice() == "服务器错误"; }));
    ASSERT_TRUE(waitUntil([&] { return socket->isConnected(); }));
    doubleClick(page->smallSpeakerBtn());
    EXPECT_FALSE(page->isSpeaking());
    EXPECT_FALSE(page->console()->recorder());
    EXPECT_EQ(status(), "双击通话");
    EXPECT_TRUE(voiceStopped());
    EXPECT_TRUE(voiceFrames().empty());

    api::setAPIBaseURL("http://127.0.0.1:" + std::to_string(server->httpPort()));
    page->setPageNum(1);
    waitForPage(1);
    EXPECT_TRUE(page->smallSpeakerBtn()->isEnabled());
    doubleClick(page->smallSpeakerBtn());
    EXPECT_TRUE(page->console()->recorder());
    ASSERT_TRUE(waitUntil([&] { return status() == "小广播"; }));
    EXPECT_EQ(nextBlock(Message::audioSmallBroadcast).groups, kFirstPageGroups);
}

TEST_F(HomePageTalk, BigThenSmallBroadcastRedirectsTheRunningCapture) {
    openRecorded();
    doubleClick(page->bigSpeakerBtn());
    const auto recorder = page->console()->recorder();
    ASSERT_TRUE(recorder);
    SentVoice voice = nextBlock(Message::audioBigBroadcast);
    EXPECT_EQ(voice.id, 1);
    EXPECT_EQ(voice.voiceBytes, 64u) << "the voice follows the scene id directly";
    ASSERT_TRUE(waitUntil([&] { return status() == "大广播"; }));

    doubleClick(page->smallSpeakerBtn());
    EXPECT_EQ(page->console()->recorder(), recorder) << "capture was not restarted";
    voice = nextBlock(Message::audioSmallBroadcast);
    EXPECT_EQ(voice.groups, kFirstPageGroups);

    // The talk button ends any talk, a broadcast included.
    doubleClick(page->floatingBtn());
    EXPECT_FALSE(page->console()->recorder());
    EXPECT_EQ(page->audioMessage(), Message::audioChannels);
}

TEST_F(HomePageTalk, TalkButtonWithoutTargetAsksForAChannel) {
    openRecorded();
    doubleClick(page->floatingBtn());
    EXPECT_EQ(lastNotice(), "请先开启语音通道！");
    EXPECT_FALSE(page->isSpeaking());
    EXPECT_FALSE(page->console()->recorder());
    EXPECT_TRUE(voiceStopped());
    EXPECT_TRUE(voiceFrames().empty());
}

TEST_F(HomePageTalk, SingleGroupTalkMovesBetweenChannelsAndEnds) {
    openRecorded();
    doubleClick(speak(0));
    EXPECT_EQ(page->singleSpeakingGroup()->id, 101);
    ASSERT_TRUE(waitUntil([&] { return status() == "单组通话中"; }));
    EXPECT_EQ(nextBlock(Message::audioChannels).groups, std::vector<std::int64_t>{101});
    const auto recorder = page->console()->recorder();

    doubleClick(speak(2));
    EXPECT_FALSE(speak(0)->isDoubleClickSelect());
    EXPECT_EQ(speak(0)->backgroundColor(), defaultButtonColor());
    EXPECT_TRUE(speak(2)->isDoubleClickSelect());
    EXPECT_EQ(page->console()->recorder(), recorder);
    EXPECT_EQ(nextBlock(Message::audioChannels).groups, std::vector<std::int64_t>{103});

    doubleClick(speak(2));
    EXPECT_FALSE(page->singleSpeakingGroup());
    EXPECT_FALSE(page->isSpeaking());
    EXPECT_FALSE(page->console()->recorder());
    EXPECT_TRUE(voiceStopped());
}

TEST_F(HomePageTalk, ChannelTalkFollowsTheSelectedChannelsInPanelOrder) {
    openRecorded();
    click(speak(2));
    click(speak(0));
    ASSERT_TRUE(speak(0)->isClickSelect() && speak(2)->isClickSelect());
    doubleClick(page->floatingBtn());
    ASSERT_TRUE(waitUntil([&] { return status() == "通话中"; }));
    SentVoice voice = nextBlock(Message::audioChannels);
    EXPECT_EQ(voice.groups, (std::vector<std::int64_t>{101, 103}));

    click(speak(2));
    voice = nextBlock(Message::audioChannels);
    EXPECT_EQ(voice.groups, std::vector<std::int64_t>{101});

    click(speak(0));
    EXPECT_FALSE(page->isSpeaking());
    EXPECT_FALSE(page->console()->recorder());
    EXPECT_TRUE(voiceStopped());
}

TEST_F(HomePageTalk, ReconnectAnnouncesTheListenChannelsInPanelOrder) {
    openRecorded();
    click(listen(0));
    click(listen(2));
    doubleClick(listen(2));
    ASSERT_TRUE(
        waitUntil([&] { return peer.framesOf(Message::channelListenerPress).size() == 1; }));
    const auto before = peer.frames().size();

    peer.drop();
    ASSERT_TRUE(waitUntil([&] { return peer.connections() == 2 && socket->isConnected(); }));
    ASSERT_TRUE(waitUntil([&] {
        return peer.framesOf(Message::channelListenerTap).size() == 4 &&
               peer.framesOf(Message::channelListenerPress).size() == 2;
    }));
    std::vector<std::pair<Message, std::int64_t>> announced;
    const auto frames = peer.frames();
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
    doubleClick(page->bigSpeakerBtn());
    nextBlock(Message::audioBigBroadcast);
    ASSERT_TRUE(page->console()->hasPlayer());

    peer.drop();
    ASSERT_TRUE(waitUntil([&] { return !page->isSpeaking() && !page->console()->recorder(); }));
    EXPECT_EQ(page->audioMessage(), Message::audioBigBroadcast);
    ASSERT_TRUE(waitUntil([&] { return status() == "双击通话"; }));

    ASSERT_TRUE(waitUntil([&] { return socket->isConnected() && page->console()->hasPlayer(); }));
    doubleClick(page->floatingBtn());
    EXPECT_EQ(nextBlock(Message::audioBigBroadcast).id, 1) << "the broadcast resumes";
}

TEST_F(HomePageTalk, MicrophoneThatCannotStartLeavesTheLatchOff) {
    ::setenv("SDL_DISKAUDIOFILEIN", (audioFolder.path() / "missing.raw").c_str(), 1);
    openRecorded();
    doubleClick(page->smallSpeakerBtn());
    EXPECT_EQ(lastNotice(), "麦克风不可用");
    EXPECT_FALSE(page->isSpeaking());
    EXPECT_FALSE(page->console()->recorder());
    EXPECT_EQ(page->audioMessage(), Message::audioChannels);
    QApplication::processEvents();
    EXPECT_EQ(status(), "双击通话");
    EXPECT_TRUE(voiceFrames().empty());
    const auto before = pings();
    EXPECT_TRUE(waitUntil([&] { return pings() > before; })) << "the heartbeat goes on";
}

}  // namespace
}  // namespace intercom::test
