#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// What the stand-in server knows from its data file: who signs in, which groups each scene
// has, how the groups are laid out on pages, and who may talk and listen where.
namespace intercom::server {

struct Scene {
    std::int64_t id = 0;
    std::string name;
    std::string companyId;
    std::string companyName;
};

struct User {
    std::int64_t id = 0;
    std::string name;
    std::string code;
    std::int64_t enabled = 1;
    std::int64_t level = 0;
    std::string remark;
    std::int64_t sceneId = 0;
};

struct Group {
    std::int64_t id = 0;
    std::int64_t sceneId = 0;
    std::string name;
    std::string remark;
};

struct Page {
    std::string id;
    std::int64_t sceneId = 0;
    std::string name;
    std::vector<std::int64_t> groupIds;  // in the order the buttons show them
};

struct Permission {
    bool speak = false;
    bool listen = false;
};

class DataFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ServerData {
    std::vector<Scene> scenes;
    std::vector<User> users;
    std::vector<Group> groups;
    std::vector<Page> pages;
    std::map<std::pair<std::int64_t, std::int64_t>, Permission> permissions;  // (user, group)

    // Both throw DataFileError naming what is wrong: unreadable JSON, a missing or mistyped
    // field, a repeated id, or a reference to a scene, user or group that does not exist.
    static ServerData fromJSON(const nlohmann::json& document);
    static ServerData load(const std::filesystem::path& path);

    const Scene* scene(std::int64_t id) const;
    const User* user(std::int64_t id) const;
    const Group* group(std::int64_t id) const;
    Permission permission(std::int64_t userId, std::int64_t groupId) const;
    // The pages of one scene in the file's order; page numbers count from 1.
    std::vector<const Page*> pagesOfScene(std::int64_t sceneId) const;
};

}  // namespace intercom::server
