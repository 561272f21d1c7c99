#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "model/Group.h"
#include "model/Page.h"
#include "model/Setting.h"
#include "model/UserInfo.h"
#include "net/signalling/Frame.h"
#include "net/signalling/SenderFrames.h"
#include "support/Hex.h"

using namespace intercom;
using intercom::test::bytesFromHex;
using intercom::test::hex;

namespace {

constexpr std::int64_t kTooBig = 2147483648LL;
constexpr std::int64_t kTooSmall = -2147483649LL;

std::string frameHex(const std::optional<Bytes>& frame) {
    return frame ? hex(*frame) : "<none>";
}

std::string expectHex(std::string_view text) {
    return hex(bytesFromHex(text));
}

Group group(std::int64_t id) {
    Group result;
    result.id = id;
    result.name = "group";
    return result;
}

void storeUser(std::int64_t id, std::int64_t sceneId, const std::string& name) {
    UserInfo user;
    user.id = id;
    user.sceneId = sceneId;
    user.name = name;
    user.level = 1;
    ASSERT_TRUE(user.save());
}

void storeDodge(std::int64_t value) {
    auto setting = Setting::load();
    setting.channelDodge = value;
    ASSERT_TRUE(setting.save());
}

const Bytes kVoice = bytesFromHex("3C 11 22 33");

}  // namespace

class SenderFrames : public ::testing::Test {
  protected:
    void SetUp() override {
        storeUser(7, 3, "Li");
        ASSERT_TRUE(Setting{}.save());
    }
};

TEST_F(SenderFrames, PingIsAlwaysTheSameTwelveBytes) {
    EXPECT_EQ(hex(makePingFrame()), "00 00 00 08 00 00 00 01 70 69 6E 67");
    storeUser(kTooBig, kTooSmall, "x");
    EXPECT_EQ(hex(makePingFrame()), "00 00 00 08 00 00 00 01 70 69 6E 67");
}

TEST_F(SenderFrames, SceneBindCarriesTheStoredIdAndScene) {
    EXPECT_EQ(frameHex(makeSceneBindFrame()), "00 00 00 0C 00 00 00 00 00 00 00 07 00 00 00 03");
}

TEST_F(SenderFrames, NothingStoredSendsTheDefaultRecords) {
    ASSERT_TRUE(UserInfo::clear());
    EXPECT_EQ(frameHex(makeSceneBindFrame()), "00 00 00 0C 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(frameHex(makeCallMessageFrame(Message::callAgree, 9)),
              "00 00 00 10 00 00 00 12 00 00 00 00 00 00 00 00 00 00 00 09");
}

TEST_F(SenderFrames, EveryFrameReadsTheRecordsAtTheMomentOfTheCall) {
    const auto before = makeSceneBindFrame();
    storeUser(1024, 5, "Li");
    EXPECT_EQ(frameHex(before), expectHex("00 00 00 0C 00 00 00 00 00 00 00 07 00 00 00 03"));
    EXPECT_EQ(frameHex(makeSceneBindFrame()), "00 00 00 0C 00 00 00 00 00 00 04 00 00 00 00 05");
    storeDodge(4);
    EXPECT_EQ(frameHex(makeChannelDodgeFrame()),
              "00 00 00 10 00 00 00 16 00 00 04 00 00 00 00 05 00 00 00 04");
}

TEST_F(SenderFrames, ChannelDodgeDefaultGoesOutAsMinusTen) {
    const auto frame = makeChannelDodgeFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), 20u);
    EXPECT_EQ(hex(*frame), expectHex("00 00 00 10 00 00 00 16 00 00 00 07 00 00 00 03 "
                                     "FF FF FF F6"));
}

TEST_F(SenderFrames, TurnPageAlwaysWritesTheGroupCount) {
    EXPECT_EQ(frameHex(makeTurnPageFrame(Page{})),
              expectHex("00 00 00 10 00 00 00 17 00 00 00 07 00 00 00 03 00 00 00 00"));
    Page page;
    page.groups = {group(5), group(258)};
    EXPECT_EQ(frameHex(makeTurnPageFrame(page)),
              expectHex("00 00 00 18 00 00 00 17 00 00 00 07 00 00 00 03 00 00 00 02 "
                        "00 00 00 05 00 00 01 02"));
}

TEST_F(SenderFrames, ChannelListenerWritesTheFlagAndEndsWithTheName) {
    EXPECT_EQ(frameHex(makeChannelListenerFrame(Message::channelListenerTap, group(5), false)),
              expectHex("00 00 00 16 00 00 00 14 00 00 00 07 00 00 00 03 00 00 00 05 "
                        "00 00 00 00 4C 69"));
    EXPECT_EQ(frameHex(makeChannelListenerFrame(Message::channelListenerPress, group(5), true)),
              expectHex("00 00 00 16 00 00 00 15 00 00 00 07 00 00 00 03 00 00 00 05 "
                        "00 00 00 01 4C 69"));
}

TEST_F(SenderFrames, CallMessagesCarryTheNameOnlyWhenCallingOrAgreeing) {
    storeUser(7, 3, "张伟");
    const std::string head = "00 00 00 07 00 00 00 03 00 00 00 09";
    const std::string name = "E5 BC A0 E4 BC 9F";  // three bytes per Chinese character
    EXPECT_EQ(frameHex(makeCallMessageFrame(Message::callRefuse, 9)),
              expectHex("00 00 00 10 00 00 00 10 " + head));
    EXPECT_EQ(frameHex(makeCallMessageFrame(Message::callHangup, 9)),
              expectHex("00 00 00 10 00 00 00 11 " + head));
    EXPECT_EQ(frameHex(makeCallMessageFrame(Message::callOnline, 9)),
              expectHex("00 00 00 16 00 00 00 0A " + head + " " + name));
    EXPECT_EQ(frameHex(makeCallMessageFrame(Message::callOffline, 9)),
              expectHex("00 00 00 16 00 00 00 0B " + head + " " + name));
    EXPECT_EQ(frameHex(makeCallMessageFrame(Message::callAgree, 9)),
              expectHex("00 00 00 16 00 00 00 12 " + head + " " + name));
}

TEST_F(SenderFrames, AudioWritesTheGroupListOnlyWhenThereIsOne) {
    EXPECT_EQ(frameHex(makeAudioFrame(Message::audioBigBroadcast, 7, {}, kVoice)),
              expectHex("00 00 00 10 00 00 00 29 00 00 00 07 00 00 00 03 3C 11 22 33"));
    EXPECT_EQ(frameHex(makeAudioFrame(Message::audioChannels, 7, {group(5)}, kVoice)),
              expectHex("00 00 00 18 00 00 00 2C 00 00 00 07 00 00 00 03 00 00 00 01 "
                        "00 00 00 05 3C 11 22 33"));
    // A private call names the partner in the id field; the scene is still the user's.
    EXPECT_EQ(frameHex(makeAudioFrame(Message::audioChat, 12, {}, kVoice)),
              expectHex("00 00 00 10 00 00 00 2B 00 00 00 0C 00 00 00 03 3C 11 22 33"));
}

TEST_F(SenderFrames, AValueOutsideThe32BitRangeSendsNothing) {
    storeUser(kTooBig, 3, "Li");
    EXPECT_EQ(makeSceneBindFrame(), std::nullopt);
    EXPECT_EQ(makeChannelDodgeFrame(), std::nullopt);
    EXPECT_EQ(makeTurnPageFrame(Page{}), std::nullopt);
    EXPECT_EQ(makeChannelListenerFrame(Message::channelListenerTap, group(5), true), std::nullopt);
    EXPECT_EQ(makeCallMessageFrame(Message::callOnline, 9), std::nullopt);
    // The voice id is the caller's, but the scene is still the stored user's.
    storeUser(7, kTooSmall, "Li");
    EXPECT_EQ(makeAudioFrame(Message::audioBigBroadcast, 7, {}, kVoice), std::nullopt);

    storeUser(7, 3, "Li");
    storeDodge(kTooBig);
    EXPECT_EQ(makeChannelDodgeFrame(), std::nullopt);
    Page page;
    page.groups = {group(5), group(kTooSmall)};
    EXPECT_EQ(makeTurnPageFrame(page), std::nullopt);
    EXPECT_EQ(makeChannelListenerFrame(Message::channelListenerTap, group(kTooBig), true),
              std::nullopt);
    EXPECT_EQ(makeCallMessageFrame(Message::callHangup, kTooBig), std::nullopt);
    EXPECT_EQ(makeAudioFrame(Message::audioChat, kTooSmall, {}, kVoice), std::nullopt);
    EXPECT_EQ(makeAudioFrame(Message::audioChannels, 7, {group(kTooBig)}, kVoice), std::nullopt);
}

TEST_F(SenderFrames, NoFrameIsLongerThanAReaderAccepts) {
    // Type, id and scene take 12 of the length; the voice may fill the rest and no more.
    const Bytes fits(static_cast<std::size_t>(kMaxFrameLength) - 12, 0x3C);
    const auto frame = makeAudioFrame(Message::audioBigBroadcast, 7, {}, fits);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), static_cast<std::size_t>(kMaxFrameLength) + 4);
    const Bytes tooLong(fits.size() + 1, 0x3C);
    EXPECT_EQ(makeAudioFrame(Message::audioBigBroadcast, 7, {}, tooLong), std::nullopt);

    storeUser(7, 3, std::string(static_cast<std::size_t>(kMaxFrameLength), 'a'));
    EXPECT_EQ(makeCallMessageFrame(Message::callOnline, 9), std::nullopt);
    EXPECT_TRUE(makeCallMessageFrame(Message::callHangup, 9));
}
