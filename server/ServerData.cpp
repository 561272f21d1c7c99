#include "server/ServerData.h"

#include <fstream>
#include <set>

namespace intercom::server {

namespace {

const nlohmann::json& member(const nlohmann::json& object, const char* key,
                             const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end()) {
        throw DataFileError(where + ": missing \"" + key + "\"");
    }
    return *found;
}

std::int64_t integer(const nlohmann::json& object, const char* key, const std::string& where) {
    const auto& value = member(object, key, where);
    if (!value.is_number_integer()) {
        throw DataFileError(where + ": \"" + key + "\" must be an integer");
    }
    return value.get<std::int64_t>();
}

std::int64_t optionalInteger(const nlohmann::json& object, const char* key,
                             const std::string& where, std::int64_t fallback) {
    return object.contains(key) ? integer(object, key, where) : fallback;
}

std::string text(const nlohmann::json& object, const char* key, const std::string& where) {
    const auto& value = member(object, key, where);
    if (!value.is_string()) {
        throw DataFileError(where + ": \"" + key + "\" must be a string");
    }
    return value.get<std::string>();
}

std::string optionalText(const nlohmann::json& object, const char* key, const std::string& where) {
    return object.contains(key) ? text(object, key, where) : std::string();
}

bool flag(const nlohmann::json& object, const char* key, const std::string& where) {
    if (!object.contains(key)) {
        return false;
    }
    const auto& value = object.at(key);
    if (!value.is_boolean()) {
        throw DataFileError(where + ": \"" + key + "\" must be true or false");
    }
    return value.get<bool>();
}

const nlohmann::json& list(const nlohmann::json& document, const char* key) {
    const auto& value = member(document, key, "data file");
    if (!value.is_array()) {
        throw DataFileError(std::string("data file: \"") + key + "\" must be an array");
    }
    for (const auto& element : value) {
        if (!element.is_object()) {
            throw DataFileError(std::string("data file: every element of \"") + key +
                                "\" must be an object");
        }
    }
    return value;
}

void requireUnique(std::set<std::int64_t>& seen, std::int64_t id, const std::string& where) {
    if (!seen.insert(id).second) {
        throw DataFileError(where + ": id " + std::to_string(id) + " is used twice");
    }
}

}  // namespace

ServerData ServerData::fromJSON(const nlohmann::json& document) {
    if (!document.is_object()) {
        throw DataFileError("data file: the top level must be an object");
    }
    ServerData data;
    std::set<std::int64_t> seen;
    for (const auto& entry : list(document, "scenes")) {
        const std::string where = "scene";
        Scene scene{integer(entry, "id", where), text(entry, "name", where),
                    optionalText(entry, "companyId", where),
                    optionalText(entry, "companyName", where)};
        requireUnique(seen, scene.id, where);
        data.scenes.push_back(std::move(scene));
    }

    seen.clear();
    std::set<std::string> names;
    for (const auto& entry : list(document, "users")) {
        const std::string where = "user";
        User user{integer(entry, "id", where),
                  text(entry, "name", where),
                  text(entry, "code", where),
                  optionalInteger(entry, "enabled", where, 1),
                  optionalInteger(entry, "level", where, 0),
                  optionalText(entry, "remark", where),
                  integer(entry, "sceneId", where)};
        requireUnique(seen, user.id, where);
        if (!names.insert(user.name).second) {
            throw DataFileError("user: the name " + user.name + " is used twice");
        }
        if (data.scene(user.sceneId) == nullptr) {
            throw DataFileError("user " + user.name + ": no scene " + std::to_string(user.sceneId));
        }
        data.users.push_back(std::move(user));
    }

    seen.clear();
    for (const auto& entry : list(document, "groups")) {
        const std::string where = "group";
        Group group{integer(entry, "id", where), integer(entry, "sceneId", where),
                    text(entry, "name", where), optionalText(entry, "remark", where)};
        requireUnique(seen, group.id, where);
        if (data.scene(group.sceneId) == nullptr) {
            throw DataFileError("group " + group.name + ": no scene " +
                                std::to_string(group.sceneId));
        }
        data.groups.push_back(std::move(group));
    }

    for (const auto& entry : list(document, "pages")) {
        const std::string where = "page";
        Page page{text(entry, "id", where),
                  integer(entry, "sceneId", where),
                  text(entry, "name", where),
                  {}};
        const auto& groupIds = member(entry, "groups", where);
        if (!groupIds.is_array()) {
            throw DataFileError("page " + page.id + ": \"groups\" must be an array");
        }
        for (const auto& groupId : groupIds) {
            const Group* group =
                groupId.is_number_integer() ? data.group(groupId.get<std::int64_t>()) : nullptr;
            if (group == nullptr || group->sceneId != page.sceneId) {
                throw DataFileError("page " + page.id + ": " + groupId.dump() +
                                    " is no group of its scene");
            }
            page.groupIds.push_back(group->id);
        }
        data.pages.push_back(std::move(page));
    }

    for (const auto& entry : list(document, "permissions")) {
        const std::string where = "permission";
        const auto userId = integer(entry, "userId", where);
        const auto groupId = integer(entry, "groupId", where);
        if (data.user(userId) == nullptr || data.group(groupId) == nullptr) {
            throw DataFileError("permission: no user " + std::to_string(userId) + " or no group " +
                                std::to_string(groupId));
        }
        data.permissions[{userId, groupId}] =
            Permission{flag(entry, "speak", where), flag(entry, "listen", where)};
    }
    return data;
}

ServerData ServerData::load(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw DataFileError("cannot open " + path.string());
    }
    const auto document = nlohmann::json::parse(file, nullptr, false);
    if (document.is_discarded()) {
        throw DataFileError(path.string() + " is not JSON");
    }
    return fromJSON(document);
}

const Scene* ServerData::scene(std::int64_t id) const {
    for (const auto& entry : scenes) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

const User* ServerData::user(std::int64_t id) const {
    for (const auto& entry : users) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

const Group* ServerData::group(std::int64_t id) const {
    for (const auto& entry : groups) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

Permission ServerData::permission(std::int64_t userId, std::int64_t groupId) const {
    const auto found = permissions.find({userId, groupId});
    return found == permissions.end() ? Permission{} : found->second;
}

std::vector<const Page*> ServerData::pagesOfScene(std::int64_t sceneId) const {
    std::vector<const Page*> result;
    for (const auto& page : pages) {
        if (page.sceneId == sceneId) {
            result.push_back(&page);
        }
    }
    return result;
}

}  // namespace intercom::server
