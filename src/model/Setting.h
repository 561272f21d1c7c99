#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>

namespace intercom {

// The user's preferences, one record for the whole client, stored under "Setting".
struct Setting {
    bool isSidetoneBlocking = true;
    bool isScreenAlwaysOn = true;
    bool isSpeakingBeep = false;
    bool isCallingRing = false;
    bool isCallingShock = false;
    bool isReconnectBeep = false;
    std::int64_t audioEnhance = 0;
    std::int64_t channelDodge = -10;

    // The stored record, or the default record when nothing usable is stored.
    static Setting load();
    // Stores this record; true when the store flushed it.
    bool save() const;

    nlohmann::json toStoredJSON() const;
    static std::optional<Setting> fromStoredJSON(const nlohmann::json& object);

    bool operator==(const Setting&) const = default;
};

}  // namespace intercom
