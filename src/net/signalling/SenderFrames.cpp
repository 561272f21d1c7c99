#include "net/signalling/SenderFrames.h"

#include <array>

#include "model/Setting.h"
#include "model/UserInfo.h"
#include "net/signalling/ByteOrder.h"
#include "net/signalling/FrameBuilder.h"

namespace intercom {

std::optional<Bytes> makeSceneBindFrame() {
    const auto user = UserInfo::current();
    return FrameBuilder(Message::sceneBind).integer(user.id).integer(user.sceneId).finish();
}

std::optional<Bytes> makeChannelDodgeFrame() {
    const auto user = UserInfo::current();
    return FrameBuilder(Message::channelPriorityDodge)
        .integer(user.id)
        .integer(user.sceneId)
        .integer(Setting::load().channelDodge)
        .finish();
}

Bytes makePingFrame() {
    static constexpr std::array<std::uint8_t, 4> kPing = {'p', 'i', 'n', 'g'};
    return *makeFrame(Message::ping, kPing);
}

std::optional<Bytes> makeTurnPageFrame(const Page& page) {
    const auto user = UserInfo::current();
    FrameBuilder builder(Message::turnPage, kInt32Size * (3 + page.groups.size()));
    builder.integer(user.id).integer(user.sceneId);
    builder.integer(static_cast<std::int64_t>(page.groups.size()));
    for (const auto& group : page.groups) {
        builder.integer(group.id);
    }
    return builder.finish();
}

std::optional<Bytes> makeChannelListenerFrame(Message message, const Group& group, bool flag) {
    const auto user = UserInfo::current();
    return FrameBuilder(message, kInt32Size * 4 + user.name.size())
        .integer(user.id)
        .integer(user.sceneId)
        .integer(group.id)
        .flag(flag)
        .text(user.name)
        .finish();
}

std::optional<Bytes> makeCallMessageFrame(Message message, std::int64_t otherId) {
    const auto user = UserInfo::current();
    FrameBuilder builder(message, kInt32Size * 3 + user.name.size());
    builder.integer(user.id).integer(user.sceneId).integer(otherId);
    if (message == Message::callOnline || message == Message::callOffline ||
        message == Message::callAgree) {
        builder.text(user.name);
    }
    return builder.finish();
}

std::optional<Bytes> makeAudioFrame(Message message, std::int64_t id,
                                    const std::vector<Group>& groups,
                                    std::span<const std::uint8_t> amr) {
    const auto sceneId = UserInfo::current().sceneId;
    FrameBuilder builder(message, kInt32Size * (3 + groups.size()) + amr.size());
    builder.integer(id).integer(sceneId);
    if (!groups.empty()) {
        builder.integer(static_cast<std::int64_t>(groups.size()));
        for (const auto& group : groups) {
            builder.integer(group.id);
        }
    }
    return builder.bytes(amr).finish();
}

}  // namespace intercom
