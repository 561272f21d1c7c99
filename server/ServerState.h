#pragma once

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "server/ServerData.h"

namespace intercom::server {

// The reply's `data`, or why there is none.
struct Answer {
    nlohmann::json data;
    std::string failure;

    bool ok() const { return failure.empty(); }
};

// Everything the server knows, shared by the HTTP handlers and the signalling side: the
// loaded data and the live state (who is connected, who listens to which group). Every
// member is safe to call from any thread.
class ServerState {
  public:
    explicit ServerState(ServerData data);

    Answer signIn(const std::string& name, const std::string& code) const;
    // Page `pageNum` (from 1) of the user's scene, with the user's permissions per group.
    Answer groupPage(std::int64_t userId, std::int64_t pageNum) const;
    // `data.users`: the other users of the user's scene, with their online state.
    Answer callableUsers(std::int64_t userId) const;
    // `data.users`: the connected users listening to a group of the scene, in the order
    // they started listening.
    Answer groupListeners(std::int64_t groupId, std::int64_t sceneId) const;

    // The loaded data; it never changes, so it is read without the lock.
    const ServerData& data() const { return data_; }

    // Going offline also ends the user's listening.
    void setOnline(std::int64_t userId, bool online);
    void setListening(std::int64_t userId, std::int64_t groupId, bool listening);

  private:
    nlohmann::json userObjectLocked(const User& user, bool withCode) const;
    nlohmann::json listenersLocked(std::int64_t groupId) const;

    mutable std::mutex mutex_;
    ServerData data_;
    std::set<std::int64_t> online_;
    std::vector<std::pair<std::int64_t, std::int64_t>> listening_;  // (group, user)
};

}  // namespace intercom::server
