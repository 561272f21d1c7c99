#include "model/UserInfo.h"

#include "model/RecordMapping.h"
#include "model/RecordStore.h"

namespace intercom {

namespace {
constexpr const char* kEntry = "UserInfo";
}

UserInfo UserInfo::current() {
    const auto object = recordstore::load(kEntry);
    if (!object) {
        return {};
    }
    return fromStoredJSON(*object).value_or(UserInfo{});
}

bool UserInfo::save() const {
    return recordstore::save(kEntry, toStoredJSON());
}

bool UserInfo::clear() {
    return recordstore::remove(kEntry);
}

UserInfo UserInfo::fromJSON(const nlohmann::json& object) {
    UserInfo user;
    if (!object.is_object()) {
        return user;
    }
    mapping::mapInteger(object, "id", user.id);
    mapping::mapText(object, "name", user.name);
    mapping::mapText(object, "code", user.code);
    mapping::mapInteger(object, "enabled", user.enabled);
    mapping::mapInteger(object, "level", user.level);
    mapping::mapInteger(object, "onlineStatus", user.onlineStatus);
    mapping::mapText(object, "remark", user.remark);
    mapping::mapText(object, "companyId", user.companyId);
    mapping::mapInteger(object, "sceneId", user.sceneId);
    mapping::mapText(object, "companyName", user.companyName);
    return user;
}

nlohmann::json UserInfo::toStoredJSON() const {
    return {{"id", id},           {"name", name},
            {"code", code},       {"enabled", enabled},
            {"level", level},     {"onlineStatus", onlineStatus},
            {"remark", remark},   {"companyId", companyId},
            {"sceneId", sceneId}, {"companyName", companyName}};
}

std::optional<UserInfo> UserInfo::fromStoredJSON(const nlohmann::json& object) {
    UserInfo user;
    const bool whole = stored::readInteger(object, "id", user.id) &&
                       stored::readText(object, "name", user.name) &&
                       stored::readText(object, "code", user.code) &&
                       stored::readInteger(object, "enabled", user.enabled) &&
                       stored::readInteger(object, "level", user.level) &&
                       stored::readInteger(object, "onlineStatus", user.onlineStatus) &&
                       stored::readText(object, "remark", user.remark) &&
                       stored::readText(object, "companyId", user.companyId) &&
                       stored::readInteger(object, "sceneId", user.sceneId) &&
                       stored::readText(object, "companyName", user.companyName);
    if (!whole) {
        return std::nullopt;
    }
    return user;
}

}  // namespace intercom
