#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "model/Group.h"
#include "model/Page.h"
#include "net/signalling/Message.h"
#include "platform/Bytes.h"

namespace intercom {

// The whole frames of the connection's seven senders, ready for one write each. The user's
// `id`, `sceneId` and `name` and the `channelDodge` setting are read from the stored records
// at the moment of the call, so a change that has just been stored goes out at once.
//
// A frame is none when one of its integers lies outside the 32-bit range (or, for voice and
// names, when it would be longer than any reader accepts); the sender then sends nothing.

std::optional<Bytes> makeSceneBindFrame();
std::optional<Bytes> makeChannelDodgeFrame();
Bytes makePingFrame();
std::optional<Bytes> makeTurnPageFrame(const Page& page);
std::optional<Bytes> makeChannelListenerFrame(Message message, const Group& group, bool flag);
// The user's name follows only for `callOnline`, `callOffline` and `callAgree`.
std::optional<Bytes> makeCallMessageFrame(Message message, std::int64_t otherId);
// With no groups, neither a count nor ids: the voice follows the scene id directly.
std::optional<Bytes> makeAudioFrame(Message message, std::int64_t id,
                                    const std::vector<Group>& groups,
                                    std::span<const std::uint8_t> amr);

}  // namespace intercom
