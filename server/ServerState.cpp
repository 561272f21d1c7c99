#include "server/ServerState.h"

#include <algorithm>

namespace intercom::server {

namespace {

Answer failed(std::string why) {
    return Answer{nullptr, std::move(why)};
}

}  // namespace

ServerState::ServerState(ServerData data) : data_(std::move(data)) {}

Answer ServerState::signIn(const std::string& name, const std::string& code) const {
    const std::lock_guard lock(mutex_);
    for (const auto& user : data_.users) {
        if (user.name == name && user.code == code) {
            return Answer{userObjectLocked(user, true), {}};
        }
    }
    return failed("用户名或密码错误");
}

Answer ServerState::groupPage(std::int64_t userId, std::int64_t pageNum) const {
    const std::lock_guard lock(mutex_);
    const User* user = data_.user(userId);
    if (user == nullptr) {
        return failed("用户不存在");
    }
    const auto pages = data_.pagesOfScene(user->sceneId);
    if (pageNum < 1 || pageNum > static_cast<std::int64_t>(pages.size())) {
        return failed("页码不存在");
    }
    const Page& page = *pages[static_cast<std::size_t>(pageNum - 1)];
    const Scene* scene = data_.scene(page.sceneId);
    auto groups = nlohmann::json::array();
    for (const auto groupId : page.groupIds) {
        const Group* group = data_.group(groupId);
        const auto permission = data_.permission(userId, groupId);
        groups.push_back({{"id", group->id},
                          {"permissionSpeak", permission.speak ? 1 : 0},
                          {"permissionListen", permission.listen ? 1 : 0},
                          {"sceneId", std::to_string(group->sceneId)},
                          {"companyId", scene->companyId},
                          {"name", group->name},
                          {"remark", group->remark},
                          {"listener", listenersLocked(groupId)}});
    }
    return Answer{{{"totalPage", pages.size()},
                   {"pageName", page.name},
                   {"pageNum", pageNum},
                   {"pageId", page.id},
                   {"groups", std::move(groups)}},
                  {}};
}

Answer ServerState::callableUsers(std::int64_t userId) const {
    const std::lock_guard lock(mutex_);
    const User* caller = data_.user(userId);
    if (caller == nullptr) {
        return failed("用户不存在");
    }
    auto users = nlohmann::json::array();
    for (const auto& user : data_.users) {
        if (user.id != caller->id && user.sceneId == caller->sceneId) {
            users.push_back(userObjectLocked(user, false));
        }
    }
    return Answer{{{"users", std::move(users)}}, {}};
}

Answer ServerState::groupListeners(std::int64_t groupId, std::int64_t sceneId) const {
    const std::lock_guard lock(mutex_);
    const Group* group = data_.group(groupId);
    if (group == nullptr || group->sceneId != sceneId) {
        return failed("群组不存在");
    }
    return Answer{{{"users", listenersLocked(groupId)}}, {}};
}

void ServerState::setOnline(std::int64_t userId, bool online) {
    const std::lock_guard lock(mutex_);
    if (online) {
        online_.insert(userId);
        return;
    }
    online_.erase(userId);
    std::erase_if(listening_, [userId](const auto& entry) { return entry.second == userId; });
}

void ServerState::setListening(std::int64_t userId, std::int64_t groupId, bool listening) {
    const std::lock_guard lock(mutex_);
    const std::pair entry{groupId, userId};
    const auto found = std::find(listening_.begin(), listening_.end(), entry);
    if (listening && found == listening_.end()) {
        listening_.push_back(entry);
    } else if (!listening && found != listening_.end()) {
        listening_.erase(found);
    }
}

nlohmann::json ServerState::userObjectLocked(const User& user, bool withCode) const {
    const Scene* scene = data_.scene(user.sceneId);
    // Only the user's own sign-in carries the password: the client keeps it to prefill
    // its sign-in page, and nobody else's list should reveal it.
    return {{"id", user.id},
            {"name", user.name},
            {"code", withCode ? user.code : std::string()},
            {"enabled", user.enabled},
            {"level", user.level},
            {"onlineStatus", online_.contains(user.id) ? 1 : 0},
            {"remark", user.remark},
            {"companyId", scene->companyId},
            {"sceneId", user.sceneId},
            {"companyName", scene->companyName}};
}

nlohmann::json ServerState::listenersLocked(std::int64_t groupId) const {
    auto users = nlohmann::json::array();
    for (const auto& [group, userId] : listening_) {
        const User* user = data_.user(userId);
        if (group == groupId && user != nullptr && online_.contains(userId)) {
            users.push_back(userObjectLocked(*user, false));
        }
    }
    return users;
}

}  // namespace intercom::server
