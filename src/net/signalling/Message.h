#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace intercom {

// The type of every signalling frame, in both directions; also the home page's talk mode and
// the kind of a call event. The enumerator's value is its code on the wire, so equality and
// `std::hash` (which the standard library gives every enumeration) go by the code alone.
enum class Message : std::int32_t {
    unknown = -1,
    sceneBind = 0,
    ping = 1,
    audioData = 2,
    callOnline = 10,
    callOffline = 11,
    callOfflineResp = 12,
    callOnlineResp = 13,
    callBeingOffline = 14,
    callInChating = 15,
    callRefuse = 16,
    callHangup = 17,
    callAgree = 18,
    channelListenerTap = 20,
    channelListenerPress = 21,
    channelPriorityDodge = 22,
    turnPage = 23,
    channelListenersChange = 24,
    userOnline = 30,
    userOffline = 31,
    audioBigBroadcast = 41,
    audioSmallBroadcast = 42,
    audioChat = 43,
    audioChannels = 44,
    sceneSwitch = 50,
    pageDel = 51,
    pageNameChange = 52,
    pageGroupsChange = 53,
    groupNameChange = 60,
    groupDel = 61,
    groupDelUser = 62,
    groupAddUser = 63,
    groupPermissionsChange = 64,
    userLevelChange = 70,
    userNameChange = 71,
    userEnableChange = 72,
    chatListChange = 73,
    userDel = 74,
    tally = 80,
};

// Every case, in declaration order.
inline constexpr std::array<Message, 39> kAllMessages = {
    Message::unknown,
    Message::sceneBind,
    Message::ping,
    Message::audioData,
    Message::callOnline,
    Message::callOffline,
    Message::callOfflineResp,
    Message::callOnlineResp,
    Message::callBeingOffline,
    Message::callInChating,
    Message::callRefuse,
    Message::callHangup,
    Message::callAgree,
    Message::channelListenerTap,
    Message::channelListenerPress,
    Message::channelPriorityDodge,
    Message::turnPage,
    Message::channelListenersChange,
    Message::userOnline,
    Message::userOffline,
    Message::audioBigBroadcast,
    Message::audioSmallBroadcast,
    Message::audioChat,
    Message::audioChannels,
    Message::sceneSwitch,
    Message::pageDel,
    Message::pageNameChange,
    Message::pageGroupsChange,
    Message::groupNameChange,
    Message::groupDel,
    Message::groupDelUser,
    Message::groupAddUser,
    Message::groupPermissionsChange,
    Message::userLevelChange,
    Message::userNameChange,
    Message::userEnableChange,
    Message::chatListChange,
    Message::userDel,
    Message::tally,
};

// The case's code on the wire.
constexpr std::int32_t rawValue(Message message) {
    return static_cast<std::int32_t>(message);
}

// The case of a code; none for any value that is not one of the 39 codes.
std::optional<Message> messageFromCode(std::int64_t code);

}  // namespace intercom
