#include "net/signalling/ReceivedPayload.h"

#include <nlohmann/json.hpp>

#include "net/signalling/ByteOrder.h"

namespace intercom {

bool isValidUTF8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (bytes.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

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
