// The home page's side of a private call: the controller's agreement and hang-up switch the
// running capture to the partner and back, seen on the frames a recording peer receives.
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

class HomePageCall : public HomePageFixture {};

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

}  // namespace
}  // namespace intercom::test
