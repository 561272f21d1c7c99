#pragma once

#include "model/Setting.h"
#include "model/UserInfo.h"
#include "platform/KeyValueStore.h"

namespace intercom::test {

// Stores a signed-in user and settings for one test and removes both when it ends, so that
// no later test of the process finds them.
class StoredRecords {
  public:
    StoredRecords(std::int64_t userId, std::int64_t sceneId, Setting setting = {}) {
        UserInfo user;
        user.id = userId;
        user.sceneId = sceneId;
        user.name = "张伟";
        user.save();
        setting.save();
    }
    ~StoredRecords() {
        UserInfo::clear();
        KeyValueStore::standard().remove("Setting");
        KeyValueStore::standard().flush();
    }
    StoredRecords(const StoredRecords&) = delete;
    StoredRecords& operator=(const StoredRecords&) = delete;
};

}  // namespace intercom::test
