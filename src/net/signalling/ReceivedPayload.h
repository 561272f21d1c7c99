#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/Group.h"
#include "model/UserInfo.h"
#include "net/signalling/Message.h"
#include "platform/Bytes.h"

namespace intercom {

// The text that a payload carries from `offset` to its end; none when it is not UTF-8 or the
// payload is shorter than `offset`.
std::optional<std::string> payloadText(const Bytes& data, std::size_t offset = 0);

// The integer that a payload holds in its first four bytes, where the whole payload is
// read: an empty payload reads as -999; one of one to three bytes holds no integer (none).
std::optional<std::int64_t> payloadInt32(const Bytes& data);

// The group of a `channelListenersChange` payload with its listeners: the id from bytes 0
// to 3, then the JSON array of users between the first "[" and the first "]" of the text
// that follows. None for a payload too short for the id, a text that is not UTF-8, a
// missing or reversed bracket pair, or JSON that is not an array. Elements that are not
// objects are skipped.
std::optional<Group> channelListenersGroup(const Bytes& data);

// Applies `userLevelChange`, `userNameChange` or `userEnableChange` to the stored user
// record: loads it afresh, replaces the one field and saves it. The saved record, or none
// when the payload does not hold what the message carries, the message is another type or
// the save failed.
std::optional<UserInfo> storeUserChange(Message message, const Bytes& data);

}  // namespace intercom
