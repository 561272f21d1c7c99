#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <unordered_set>
#include <utility>

#include "net/signalling/Message.h"

using intercom::kAllMessages;
using intercom::Message;
using intercom::messageFromCode;
using intercom::rawValue;

TEST(MessageTypes, EveryCaseHasItsWireCodeInDeclarationOrder) {
    const std::pair<Message, std::int32_t> expected[] = {
        {Message::unknown, -1},
        {Message::sceneBind, 0},
        {Message::ping, 1},
        {Message::audioData, 2},
        {Message::callOnline, 10},
        {Message::callOffline, 11},
        {Message::callOfflineResp, 12},
        {Message::callOnlineResp, 13},
        {Message::callBeingOffline, 14},
        {Message::callInChating, 15},
        {Message::callRefuse, 16},
        {Message::callHangup, 17},
        {Message::callAgree, 18},
        {Message::channelListenerTap, 20},
        {Message::channelListenerPress, 21},
        {Message::channelPriorityDodge, 22},
        {Message::turnPage, 23},
        {Message::channelListenersChange, 24},
        {Message::userOnline, 30},
        {Message::userOffline, 31},
        {Message::audioBigBroadcast, 41},
        {Message::audioSmallBroadcast, 42},
        {Message::audioChat, 43},
        {Message::audioChannels, 44},
        {Message::sceneSwitch, 50},
        {Message::pageDel, 51},
        {Message::pageNameChange, 52},
        {Message::pageGroupsChange, 53},
        {Message::groupNameChange, 60},
        {Message::groupDel, 61},
        {Message::groupDelUser, 62},
        {Message::groupAddUser, 63},
        {Message::groupPermissionsChange, 64},
        {Message::userLevelChange, 70},
        {Message::userNameChange, 71},
        {Message::userEnableChange, 72},
        {Message::chatListChange, 73},
        {Message::userDel, 74},
        {Message::tally, 80},
    };
    ASSERT_EQ(std::size(expected), kAllMessages.size());
    for (std::size_t i = 0; i < kAllMessages.size(); ++i) {
        EXPECT_EQ(kAllMessages[i], expected[i].first) << "position " << i;
        EXPECT_EQ(rawValue(expected[i].first), expected[i].second);
        EXPECT_EQ(messageFromCode(expected[i].second), expected[i].first);
    }
}

TEST(MessageTypes, CodesOutsideTheTableHaveNoCase) {
    for (const std::int64_t code : {19, 25, 45, 79, 81, -2, -999}) {
        EXPECT_EQ(messageFromCode(code), std::nullopt) << code;
    }
    EXPECT_EQ(messageFromCode(std::numeric_limits<std::int64_t>::min()), std::nullopt);
    EXPECT_EQ(messageFromCode(std::numeric_limits<std::int64_t>::max()), std::nullopt);
    EXPECT_EQ(messageFromCode(std::numeric_limits<std::int32_t>::min()), std::nullopt);

    int found = 0;
    for (std::int64_t code = -100000; code <= 100000; ++code) {
        if (const auto message = messageFromCode(code)) {
            EXPECT_EQ(rawValue(*message), code);
            ++found;
        }
    }
    EXPECT_EQ(found, 39);
}

TEST(MessageTypes, MinusOneIsUnknownItself) {
    EXPECT_EQ(messageFromCode(-1), Message::unknown);
}

TEST(MessageTypes, EqualityAndHashingGoByCode) {
    const std::unordered_set<Message> all(kAllMessages.begin(), kAllMessages.end());
    EXPECT_EQ(all.size(), 39u);
    const Message looked = *messageFromCode(44);
    EXPECT_EQ(looked, Message::audioChannels);
    EXPECT_NE(looked, Message::audioChat);
    EXPECT_EQ(std::hash<Message>{}(looked), std::hash<Message>{}(Message::audioChannels));
    EXPECT_TRUE(all.contains(looked));
}
