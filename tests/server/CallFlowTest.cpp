#include "ServerTest.h"

namespace intercom::test {
namespace {

using Types = std::vector<Message>;

// Users of the demo's scene 1: 1 张伟 calls, 2 李娜 is called, 3 王芳 calls too, 4 刘洋 is
// offline at first.
class CallFlowTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_TRUE(server_);
        caller_ = user(1, 1);
        callee_ = user(2, 1);
        third_ = user(3, 1);
        settle({caller_.get(), callee_.get(), third_.get()});
    }

    // The caller rings the callee; both see the frames the client waits for.
    void ring() {
        caller_->send(callFrame(Message::callOnline, 1, 1, 2, "张伟"));
        const auto incoming = callee_->next();
        ASSERT_TRUE(incoming);
        EXPECT_EQ(incoming->type, Message::callOnline);
        EXPECT_EQ(leadingInt(incoming->payload), 1);
        EXPECT_EQ(textAfter(incoming->payload, 4), "张伟");
        const auto answer = caller_->next();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->type, Message::callOnlineResp);
    }

    // Both parties receive `type` next and nothing else.
    void expectBothGet(Message type) {
        for (auto* party : {caller_.get(), callee_.get()}) {
            const auto frame = party->next();
            ASSERT_TRUE(frame);
            EXPECT_EQ(frame->type, type);
        }
    }

    // Private voice from each party reaches the other, or nobody. Each sender drains its own
    // connection first, so that its frame has been handled before the other side looks.
    void expectPrivateVoice(bool flows) {
        caller_->send(audioFrame(Message::audioChat, 2, 1, {}, voiceBlock(1)));
        EXPECT_EQ(typesOf(caller_->drain()), Types{});
        callee_->send(audioFrame(Message::audioChat, 1, 1, {}, voiceBlock(2)));
        const auto toCallee = callee_->drain();
        const auto toCaller = caller_->drain();
        if (flows) {
            ASSERT_EQ(typesOf(toCallee), Types{Message::audioData});
            EXPECT_EQ(toCallee[0].payload, voiceBlock(1));
            ASSERT_EQ(typesOf(toCaller), Types{Message::audioData});
            EXPECT_EQ(toCaller[0].payload, voiceBlock(2));
        } else {
            EXPECT_EQ(typesOf(toCallee), Types{});
            EXPECT_EQ(typesOf(toCaller), Types{});
        }
        EXPECT_EQ(typesOf(third_->drain()), Types{});
    }

    std::unique_ptr<SignallingClient> caller_;
    std::unique_ptr<SignallingClient> callee_;
    std::unique_ptr<SignallingClient> third_;
};

TEST_F(CallFlowTest, AcceptedCallCarriesPrivateVoiceUntilHungUp) {
    ring();
    expectPrivateVoice(false);

    callee_->send(callFrame(Message::callAgree, 2, 1, 1, "李娜"));
    expectBothGet(Message::callAgree);
    expectPrivateVoice(true);

    caller_->send(callFrame(Message::callHangup, 1, 1, 2));
    expectBothGet(Message::callHangup);
    expectPrivateVoice(false);
}

TEST_F(CallFlowTest, CalleeRefusesAndIsFreeAgain) {
    ring();
    callee_->send(callFrame(Message::callRefuse, 2, 1, 1));
    expectBothGet(Message::callRefuse);
    // A late agreement to the refused call changes nothing.
    callee_->send(callFrame(Message::callAgree, 2, 1, 1, "李娜"));
    EXPECT_EQ(typesOf(callee_->drain()), Types{});
    EXPECT_EQ(typesOf(caller_->drain()), Types{});

    third_->send(callFrame(Message::callOnline, 3, 1, 2, "王芳"));
    EXPECT_EQ(leadingInt(callee_->nextOf(Message::callOnline)->payload), 3);
    EXPECT_TRUE(third_->nextOf(Message::callOnlineResp));
}

TEST_F(CallFlowTest, CallerWithdrawsWhileItRings) {
    ring();
    caller_->send(callFrame(Message::callRefuse, 1, 1, 2));
    expectBothGet(Message::callRefuse);
    expectPrivateVoice(false);
}

TEST_F(CallFlowTest, ACalleeInAnotherCallIsReportedBusy) {
    ring();
    // Ringing already counts: the callee is spoken for.
    third_->send(callFrame(Message::callOnline, 3, 1, 2, "王芳"));
    EXPECT_EQ(typesOf(third_->drain()), Types{Message::callInChating});
    callee_->send(callFrame(Message::callAgree, 2, 1, 1, "李娜"));
    expectBothGet(Message::callAgree);

    third_->send(callFrame(Message::callOnline, 3, 1, 1, "王芳"));
    EXPECT_EQ(typesOf(third_->drain()), Types{Message::callInChating});
    EXPECT_EQ(typesOf(caller_->drain()), Types{});
    EXPECT_EQ(typesOf(callee_->drain()), Types{});
    expectPrivateVoice(true);
}

TEST_F(CallFlowTest, AnOfflineCalleeHearsOfTheCallWhenItConnects) {
    caller_->send(callFrame(Message::callOffline, 1, 1, 4, "张伟"));
    const auto answer = caller_->next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->type, Message::callOfflineResp);

    auto late = connect();
    EXPECT_EQ(late->bind(4, 1), 1);
    const auto missed = late->next();
    ASSERT_TRUE(missed);
    EXPECT_EQ(missed->type, Message::callOffline);
    EXPECT_EQ(leadingInt(missed->payload), 1);
    EXPECT_EQ(textAfter(missed->payload, 4), "张伟");
    // Told once only.
    late->close();
    auto again = connect();
    EXPECT_EQ(again->bind(4, 1), 1);
    EXPECT_EQ(typesOf(again->drain()), Types{});

    // Calling a user who is gone by now, as if online, is answered as the other party gone.
    settle({caller_.get()});
    caller_->send(callFrame(Message::callOnline, 1, 1, 5, "张伟"));
    EXPECT_EQ(typesOf(caller_->drain()), Types{Message::callBeingOffline});
}

TEST_F(CallFlowTest, APartyDroppingOutEndsTheCallForTheOther) {
    ring();
    caller_->close();
    auto gone = callee_->nextOf(Message::callBeingOffline);
    ASSERT_TRUE(gone);
    EXPECT_EQ(leadingInt(gone->payload), 1);

    caller_ = user(1, 1);
    settle({caller_.get(), callee_.get()});
    ring();
    callee_->send(callFrame(Message::callAgree, 2, 1, 1, "李娜"));
    expectBothGet(Message::callAgree);
    callee_->close();
    gone = caller_->nextOf(Message::callBeingOffline);
    ASSERT_TRUE(gone);
    EXPECT_EQ(leadingInt(gone->payload), 2);

    // The caller is free again.
    third_->drain();
    third_->send(callFrame(Message::callOnline, 3, 1, 1, "王芳"));
    EXPECT_TRUE(caller_->nextOf(Message::callOnline));
}

}  // namespace
}  // namespace intercom::test
