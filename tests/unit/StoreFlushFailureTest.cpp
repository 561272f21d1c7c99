#include <gtest/gtest.h>

#include "model/Setting.h"
#include "model/UserInfo.h"
#include "platform/KeyValueStore.h"

// Runs with XDG_CONFIG_HOME below /dev/null, where the store's folder cannot be created.

TEST(StoreFlushFailure, SaveAndClearReportTheFailedFlush) {
    intercom::UserInfo user;
    user.id = 5;
    user.name = "王芳";
    EXPECT_FALSE(user.save());
    // The new record is still set for the running process.
    EXPECT_EQ(intercom::UserInfo::current().id, 5);
    EXPECT_FALSE(intercom::UserInfo::clear());

    intercom::Setting setting;
    setting.audioEnhance = 3;
    EXPECT_FALSE(setting.save());
    EXPECT_EQ(intercom::Setting::load().audioEnhance, 3);
    EXPECT_FALSE(intercom::KeyValueStore::standard().flush());
}
