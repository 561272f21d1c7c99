#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/UserInfo.h"

namespace intercom {

// A talk group (channel) with the signed-in user's permissions on it.
struct Group {
    std::int64_t id = 0;
    std::int64_t permissionSpeak = 0;
    std::int64_t permissionListen = 0;
    std::string sceneId;
    std::string companyId;
    std::string name;
    std::string remark;
    std::vector<UserInfo> listener;

    static Group fromJSON(const nlohmann::json& object);

    bool operator==(const Group&) const = default;
};

}  // namespace intercom
