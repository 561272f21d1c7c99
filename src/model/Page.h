#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/Group.h"

namespace intercom {

// One screen of talk groups, in the server's order.
struct Page {
    std::int64_t totalPage = 0;
    std::string pageName;
    std::int64_t pageNum = 0;
    std::string pageId;
    std::vector<Group> groups;

    static Page fromJSON(const nlohmann::json& object);

    bool operator==(const Page&) const = default;
};

}  // namespace intercom
