#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

#include "model/RecordStore.h"
#include "model/Setting.h"
#include "model/UserInfo.h"
#include "platform/KeyValueStore.h"
#include "support/TempDir.h"

using intercom::KeyValueStore;
using intercom::Setting;
using intercom::UserInfo;

namespace {

UserInfo userNumbered(std::int64_t n) {
    UserInfo user;
    user.id = n;
    user.sceneId = n;
    user.level = n;
    user.name = "用户" + std::to_string(n);
    user.remark = std::string(static_cast<std::size_t>(n % 13) * 50, 'x');
    return user;
}

bool isWhole(const UserInfo& user) {
    return user.sceneId == user.id && user.level == user.id &&
           user.name == userNumbered(user.id).name && user.remark == userNumbered(user.id).remark;
}

}  // namespace

TEST(StoreConcurrency, EightThreadsSeeWholeRecords) {
    ASSERT_TRUE(userNumbered(1).save());
    std::atomic<int> torn{0};
    std::atomic<int> defaults{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &torn, &defaults] {
            for (int i = 0; i < 150; ++i) {
                if (t % 2 == 0) {
                    userNumbered(1 + (t * 1000 + i) % 97).save();
                    auto setting = Setting::load();
                    setting.audioEnhance = t;
                    setting.channelDodge = -t;
                    setting.save();
                } else {
                    const auto user = UserInfo::current();
                    if (user.id == 0) {
                        ++defaults;
                    } else if (!isWhole(user)) {
                        ++torn;
                    }
                    const auto setting = Setting::load();
                    if (setting.channelDodge != -setting.audioEnhance &&
                        setting.channelDodge != -10) {
                        ++torn;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(defaults, 0);
    EXPECT_TRUE(isWhole(UserInfo::current()));
    // What is on disk is one of the records written, readable by a fresh store.
    const auto bytes = KeyValueStore(KeyValueStore::standard().file()).get("UserInfo");
    ASSERT_TRUE(bytes.has_value());
    const auto object = intercom::recordstore::decode(std::string(bytes->begin(), bytes->end()));
    ASSERT_TRUE(object.has_value());
    const auto onDisk = UserInfo::fromStoredJSON(*object);
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_TRUE(isWhole(*onDisk));
}

TEST(StoreDurability, KilledWriterAlwaysLeavesAWholeRecord) {
    intercom::test::TempDir config;
    const auto file = config.path() / "intercom" / "defaults.cbor";
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayMicros(200, 15000);
    // Built before fork: between fork and exec the child may only make async-signal-safe calls.
    const std::string configVariable = "XDG_CONFIG_HOME=" + config.path().string();
    char* const environment[] = {const_cast<char*>(configVariable.c_str()), nullptr};
    for (int round = 0; round < 60; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(ready[1], STDOUT_FILENO);
            ::execle(RECORD_WRITER_PATH, RECORD_WRITER_PATH, static_cast<char*>(nullptr),
                     environment);
            ::_exit(127);
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the writer failed to start";
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own in round " << round;

        KeyValueStore store(file);
        ASSERT_TRUE(std::filesystem::exists(file)) << "the file was unreadable in round " << round;
        const auto bytes = store.get("UserInfo");
        ASSERT_TRUE(bytes.has_value()) << "round " << round;
        const auto object =
            intercom::recordstore::decode(std::string(bytes->begin(), bytes->end()));
        ASSERT_TRUE(object.has_value()) << "round " << round;
        const auto user = UserInfo::fromStoredJSON(*object);
        ASSERT_TRUE(user.has_value()) << "round " << round;
        EXPECT_TRUE(user->id == 1 || user->id == 2);
        EXPECT_EQ(user->name, "张伟");
    }
}
