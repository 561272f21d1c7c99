#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace intercom {

// One user: the signed-in user (stored under "UserInfo") and every element of a user list.
struct UserInfo {
    std::int64_t id = 0;
    std::string name;
    std::string code;
    std::int64_t enabled = 0;
    std::int64_t level = 0;
    std::int64_t onlineStatus = 0;
    std::string remark;
    std::string companyId;
    std::int64_t sceneId = 0;
    std::string companyName;

    // The stored signed-in user, or the default record when nothing usable is stored.
    static UserInfo current();
    // Stores this record as the signed-in user; true when the store flushed it.
    bool save() const;
    // Removes the stored user; true when the store flushed the removal.
    static bool clear();

    // The record mapping of a server reply's object.
    static UserInfo fromJSON(const nlohmann::json& object);

    // The stored form and its strict reading: any missing or mistyped key refuses it all.
    nlohmann::json toStoredJSON() const;
    static std::optional<UserInfo> fromStoredJSON(const nlohmann::json& object);

    bool operator==(const UserInfo&) const = default;
};

}  // namespace intercom
