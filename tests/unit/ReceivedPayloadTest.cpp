#include <gtest/gtest.h>

#include <string>

#include "model/UserInfo.h"
#include "net/signalling/ReceivedPayload.h"
#include "net/signalling/UTF8.h"
#include "net/signalling/VoiceRoute.h"
#include "platform/KeyValueStore.h"
#include "support/Hex.h"

namespace intercom {
namespace {

using test::bytesFromHex;

Bytes withText(const std::string& idHex, const std::string& text) {
    Bytes data = bytesFromHex(idHex);
    data.insert(data.end(), text.begin(), text.end());
    return data;
}

const std::string kTwoListeners =
    R"(junk[{"id":2,"name":"李娜","level":0},7,{"id":3,"name":"王芳"}]tail)";

TEST(ListenersPayload, GroupIdComesFromTheFirstFourBytesWhateverTheirValue) {
    // 91 and 93 are "[" and "]"; 201 and 70000 hold bytes that are not UTF-8 on their own.
    for (const auto& [idHex, id] : {std::pair{"0000005B", 91}, std::pair{"0000005D", 93},
                                    std::pair{"000000C9", 201}, std::pair{"00011170", 70000}}) {
        const auto group = channelListenersGroup(withText(idHex, kTwoListeners));
        ASSERT_TRUE(group) << idHex;
        EXPECT_EQ(group->id, id);
        ASSERT_EQ(group->listener.size(), 2u) << "the element that is not an object is skipped";
        EXPECT_EQ(group->listener[0].id, 2);
        EXPECT_EQ(group->listener[0].name, "李娜");
        EXPECT_EQ(group->listener[1].name, "王芳");
        EXPECT_EQ(group->permissionSpeak, 0);
        EXPECT_TRUE(group->name.empty());
    }
    const auto empty = channelListenersGroup(withText("00000065", "[]"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->id, 101);
    EXPECT_TRUE(empty->listener.empty());
}

TEST(ListenersPayload, BrokenPayloadsAreIgnored) {
    EXPECT_FALSE(channelListenersGroup({}));
    EXPECT_FALSE(channelListenersGroup(bytesFromHex("00 00 5B")));
    EXPECT_FALSE(channelListenersGroup(bytesFromHex("00000065")));
    EXPECT_FALSE(channelListenersGroup(withText("00000065", "no brackets")));
    EXPECT_FALSE(channelListenersGroup(withText("00000065", "][]")));
    EXPECT_FALSE(channelListenersGroup(withText("00000065", R"([{"id":1])")));
    EXPECT_FALSE(channelListenersGroup(withText("00000065", "[1,2")));
    Bytes notUtf8 = withText("00000065", "[]");
    notUtf8.push_back(0xC3);
    EXPECT_FALSE(channelListenersGroup(notUtf8));
}

TEST(ListenersPayload, Utf8CheckRefusesWhatAStrictDecoderRefuses) {
    EXPECT_TRUE(isValidUTF8("张伟 abc \xF0\x9F\x8E\xA4"));
    EXPECT_FALSE(isValidUTF8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(isValidUTF8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUTF8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(isValidUTF8("\xE5\xBC"));          // cut short
    EXPECT_FALSE(isValidUTF8("\x80"));
}

class UserRecordChange : public ::testing::Test {
  protected:
    void SetUp() override {
        stored_.id = 5;
        stored_.name = "陈静";
        stored_.level = 0;
        stored_.enabled = 1;
        stored_.sceneId = 1;
        ASSERT_TRUE(stored_.save());
    }
    void TearDown() override { KeyValueStore::standard().remove("UserInfo"); }

    UserInfo stored_;
};

TEST_F(UserRecordChange, EachMessageReplacesItsOneFieldInTheStore) {
    auto saved = storeUserChange(Message::userLevelChange, bytesFromHex("00000001"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->level, 1);
    EXPECT_EQ(UserInfo::current().level, 1);

    saved = storeUserChange(Message::userLevelChange, {});
    ASSERT_TRUE(saved);
    EXPECT_EQ(UserInfo::current().level, -999) << "an empty payload reads as -999";

    saved = storeUserChange(Message::userNameChange, withText("", "黄强"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(UserInfo::current().name, "黄强");
    saved = storeUserChange(Message::userNameChange, {});
    ASSERT_TRUE(saved);
    EXPECT_EQ(UserInfo::current().name, "");

    ASSERT_TRUE(storeUserChange(Message::userEnableChange, bytesFromHex("00000000")));
    UserInfo expected = stored_;
    expected.level = -999;
    expected.name = "";
    expected.enabled = 0;
    EXPECT_EQ(UserInfo::current(), expected) << "every other field keeps its stored value";
}

TEST_F(UserRecordChange, PayloadsThatHoldNothingLeaveTheStoreAlone) {
    EXPECT_FALSE(storeUserChange(Message::userLevelChange, bytesFromHex("00 01")));
    EXPECT_FALSE(storeUserChange(Message::userEnableChange, bytesFromHex("01")));
    EXPECT_FALSE(storeUserChange(Message::userNameChange, bytesFromHex("E5 BC")));
    EXPECT_FALSE(storeUserChange(Message::tally, bytesFromHex("00000001")));
    EXPECT_EQ(UserInfo::current(), stored_);
}

TEST(VoiceRouting, EachModeBecomesItsFrameOrNone) {
    Group first;
    first.id = 101;
    Group second;
    second.id = 102;
    auto page = std::make_shared<Page>();
    page->groups = {first, second};

    TalkSnapshot talk;
    talk.mode = Message::audioBigBroadcast;
    auto route = routeVoiceBlock(talk, 1);
    EXPECT_EQ(route.kind, VoiceRoute::Kind::send);
    EXPECT_EQ(route.type, Message::audioBigBroadcast);
    EXPECT_EQ(route.id, 1);
    EXPECT_TRUE(route.groups.empty());

    talk.mode = Message::audioSmallBroadcast;
    EXPECT_EQ(routeVoiceBlock(talk, 1).kind, VoiceRoute::Kind::drop) << "before any page";
    talk.page = std::make_shared<Page>();
    EXPECT_EQ(routeVoiceBlock(talk, 1).kind, VoiceRoute::Kind::drop) << "a page without groups";
    talk.page = page;
    route = routeVoiceBlock(talk, 1);
    EXPECT_EQ(route.kind, VoiceRoute::Kind::send);
    EXPECT_EQ(route.groups, page->groups);

    talk.mode = Message::audioChat;
    EXPECT_EQ(routeVoiceBlock(talk, 1).kind, VoiceRoute::Kind::drop) << "no partner";
    talk.partnerId = 8;
    route = routeVoiceBlock(talk, 1);
    EXPECT_EQ(route.type, Message::audioChat);
    EXPECT_EQ(route.id, 8);
    EXPECT_TRUE(route.groups.empty());

    talk.mode = Message::audioChannels;
    EXPECT_EQ(routeVoiceBlock(talk, 1).kind, VoiceRoute::Kind::selectedChannels);
    talk.singleSpeakingGroup = second;
    route = routeVoiceBlock(talk, 1);
    EXPECT_EQ(route.type, Message::audioChannels);
    ASSERT_EQ(route.groups.size(), 1u);
    EXPECT_EQ(route.groups[0].id, 102);

    talk.mode = Message::tally;
    EXPECT_EQ(routeVoiceBlock(talk, 1).kind, VoiceRoute::Kind::drop);
}

}  // namespace
}  // namespace intercom
