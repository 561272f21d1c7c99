#include "net/signalling/ReceivedPayload.h"

#include <nlohmann/json.hpp>

#include "net/signalling/ByteOrder.h"
#include "net/signalling/UTF8.h"

namespace intercom {

std::optional<std::string> payloadText(const Bytes& data, std::size_t offset) {
    if (data.size() < offset) {
        return std::nullopt;
    }
    std::string text(data.begin() + static_cast<std::ptrdiff_t>(offset), data.end());
    if (!isValidUTF8(text)) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::int64_t> payloadInt32(const Bytes& data) {
    if (!data.empty() && data.size() < 4) {
        return std::nullopt;
    }
    return bigEndianInt32(data);
}

std::optional<Group> channelListenersGroup(const Bytes& data) {
    if (data.size() < 4) {
        return std::nullopt;
    }
    const auto text = payloadText(data, 4);
    if (!text) {
        return std::nullopt;
    }
    const auto open = text->find('[');
    const auto close = text->find(']');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::nullopt;
    }
    const auto array = nlohmann::json::parse(text->begin() + static_cast<std::ptrdiff_t>(open),
                                             text->begin() + static_cast<std::ptrdiff_t>(close) + 1,
                                             nullptr, false);
    if (!array.is_array()) {
        return std::nullopt;
    }
    Group group;
    group.id = bigEndianInt32(data);
    for (const auto& element : array) {
        if (element.is_object()) {
            group.listener.push_back(UserInfo::fromJSON(element));
        }
    }
    return group;
}

std::optional<UserInfo> storeUserChange(Message message, const Bytes& data) {
    std::optional<std::string> name;
    std::optional<std::int64_t> value;
    if (message == Message::userNameChange) {
        name = payloadText(data);
        if (!name) {
            return std::nullopt;
        }
    } else {
        value = payloadInt32(data);
        if (!value) {
            return std::nullopt;
        }
    }
    UserInfo user = UserInfo::current();
    switch (message) {
        case Message::userLevelChange:
            user.level = *value;
            break;
        case Message::userEnableChange:
            user.enabled = *value;
            break;
        case Message::userNameChange:
            user.name = std::move(*name);
            break;
        default:
            return std::nullopt;
    }
    if (!user.save()) {
        return std::nullopt;
    }
    return user;
}

}  // namespace intercom
