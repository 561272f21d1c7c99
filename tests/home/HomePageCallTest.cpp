// The home page's side of a private call: the controller's agreement and hang-up switch the
// running capture to the partner and back, seen on the frames a recording peer receives.
#include <chrono>
#include <thread>

#include "../ui/UiTestSupport.h"
#include "HomePageFixture.h"
#include "net/signalling/FrameBuilder.h"
#include "ui/controls/SpeakChannelButton.h"
#include "ui/pages/Chat.h"

namespace intercom::test {
namespace {

Bytes callFrame(Message type) {
    return *FrameBuilder(type, 0).finish();
}

class HomePageCall : public HomePageFixture {
  protected:
    // The frames that `link` of the peer has received so far.
    std::vector<Frame> framesOf(int link) const {
        std::vector<Frame> frames;
        for (const RecordingPeer::Received& received : peer_.frames()) {
            if (received.connection == link) {
                frames.push_back(received.frame);
            }
        }
        return frames;
    }
};

TEST_F(HomePageCall, AgreedCallTakesOverTheRunningCaptureAndHangUpEndsIt) {
    openRecorded();
    UserInfo partner;
    partner.id = 2;
    partner.name = "李娜";
    Chat::shared().setOther(partner);
    click(button<SpeakChannelButton>(page_->speakPanel(), 0));
    doubleClick(page_->floatingBtn());
    EXPECT_EQ(nextBlock(Message::audioChannels).groups, std::vector<std::int64_t>{101});
    const auto recorder = page_->console()->recorder();

    peer_.send(callFrame(Message::callAgree));
    ASSERT_TRUE(waitUntil([&] { return page_->audioMessage() == Message::audioChat; }));
    EXPECT_EQ(page_->console()->recorder(), recorder) << "the running capture goes on";
    EXPECT_TRUE(page_->isSpeaking()) << "the latch stays as it was";
    SentVoice voice = nextBlock(Message::audioChat);
    EXPECT_EQ(voice.id, 2);
    EXPECT_EQ(voice.voiceBytes, 64u);

    peer_.send(callFrame(Message::callHangup));
    ASSERT_TRUE(waitUntil([&] { return !page_->console()->recorder(); }));
    EXPECT_EQ(page_->audioMessage(), Message::audioChannels);
    const auto pingsAfterCall = pings();
    EXPECT_TRUE(waitUntil([&] { return pings() > pingsAfterCall; })) << "heartbeat restarted";

    // The latch was still on: the talk button ends that talk, and the next one starts
    // channel talk again.
    doubleClick(page_->floatingBtn());
    EXPECT_FALSE(page_->isSpeaking());
    peer_.send(callFrame(Message::callAgree));
    ASSERT_TRUE(waitUntil([&] { return page_->console()->recorder() != nullptr; }));
    EXPECT_FALSE(page_->isSpeaking()) << "a call captures without the latch";
    EXPECT_EQ(nextBlock(Message::audioChat).id, 2);
    peer_.send(callFrame(Message::callHangup));
    ASSERT_TRUE(waitUntil([&] { return !page_->console()->recorder(); }));
    doubleClick(page_->floatingBtn());
    EXPECT_EQ(nextBlock(Message::audioChannels).groups, std::vector<std::int64_t>{101});
}

// Another user calls, the call is agreed, and the link drops right behind the agreement. The
// main queue takes the agreement after the loss has been handled (every other round, held back
// until the client has connected again) or as it comes. Either way no capture outlives the
// loss: on the next link, with "双击通话" on screen, no voice leaves the client.
TEST_F(HomePageCall, AnAgreementRacingAConnectionLossLeavesTheMicrophoneOff) {
    openRecorded();
    Bytes call = *FrameBuilder(Message::callOnline, 0).integer(2).text("李娜").finish();
    const Bytes agree = callFrame(Message::callAgree);
    call.insert(call.end(), agree.begin(), agree.end());
    constexpr int kRounds = 16;
    int roundsWithVoice = 0;
    for (int round = 0; round < kRounds; ++round) {
        const int link = peer_.connections() + 1;
        peer_.send(call);
        peer_.drop();
        if (round % 2 == 0) {
            // The loss is handled before the reconnect starts; the main queue is not served.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (peer_.connections() < link && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        ASSERT_TRUE(waitUntil([&] { return peer_.connections() == link; }));
        // Two pings on the new link show the heartbeat running there a while, long enough for a
        // microphone left on to have sent blocks; a microphone left on also pauses it.
        const auto count = [&](Message type) {
            const auto frames = framesOf(link);
            return std::count_if(frames.begin(), frames.end(),
                                 [type](const Frame& frame) { return frame.type == type; });
        };
        ASSERT_TRUE(
            waitUntil([&] { return count(Message::ping) >= 2 || count(Message::audioChat) > 0; }));
        EXPECT_EQ(page_->speakingStatusBtn()->text(), "双击通话") << "round " << round;
        const auto voice = count(Message::audioChat);
        roundsWithVoice += voice > 0 ? 1 : 0;
        EXPECT_EQ(voice, 0) << "round " << round;

        peer_.send(callFrame(Message::callHangup));
        ASSERT_TRUE(waitUntil([&] { return page_->audioMessage() == Message::audioChannels; }));
    }
    EXPECT_EQ(roundsWithVoice, 0) << "of " << kRounds << " rounds";
}

}  // namespace
}  // namespace intercom::test
