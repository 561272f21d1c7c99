#include <gtest/gtest.h>

#include <thread>

#include "CompletionRecorder.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/api/APIRequests.h"
#include "server/HTTPServer.h"

namespace intercom {
namespace {

using api::JSONValue;
using test::CompletionRecorder;

// The server library in-process, so that the test can change the live state that the
// signalling side will keep, and see the HTTP replies follow it.
class LiveStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UserInfo me;
        me.id = 2;
        me.sceneId = 1;
        ASSERT_TRUE(me.save());
        const auto port = http_.start("127.0.0.1", 0);
        ASSERT_TRUE(port.has_value());
        api::setAPIBaseURL("http://127.0.0.1:" + std::to_string(*port));
    }
    void TearDown() override { api::setAPIBaseURL({}); }

    std::vector<std::int64_t> idsIn(const JSONValue& reply) {
        std::vector<std::int64_t> ids;
        for (const auto& user : reply["data"]["users"].raw()) {
            ids.push_back(UserInfo::fromJSON(user).id);
        }
        return ids;
    }

    JSONValue listenersOf(std::int64_t groupId) {
        CompletionRecorder recorder;
        api::requestGroupListenUsers(groupId, recorder.completion());
        EXPECT_TRUE(recorder.wait());
        return recorder.value().value_or(JSONValue());
    }

    server::ServerState state_{server::ServerData::load(INTERCOM_DEMO_DATA)};
    server::HTTPServer http_{state_};
};

TEST_F(LiveStateTest, ListenersAreTheConnectedUsersInTheOrderTheyStartedListening) {
    state_.setOnline(3, true);
    state_.setOnline(1, true);
    state_.setListening(3, 101, true);
    state_.setListening(1, 101, true);
    state_.setListening(1, 102, true);
    EXPECT_EQ(idsIn(listenersOf(101)), (std::vector<std::int64_t>{3, 1}));

    state_.setListening(3, 101, false);
    EXPECT_EQ(idsIn(listenersOf(101)), (std::vector<std::int64_t>{1}));

    // Going offline ends every selection of the user.
    state_.setOnline(1, false);
    EXPECT_TRUE(idsIn(listenersOf(101)).empty());
    EXPECT_TRUE(idsIn(listenersOf(102)).empty());
}

TEST_F(LiveStateTest, TheCallListShowsWhoIsOnline) {
    state_.setOnline(4, true);
    CompletionRecorder recorder;
    api::requestChatUserList(recorder.completion());
    ASSERT_TRUE(recorder.wait());
    for (const auto& element : (*recorder.value())["data"]["users"].raw()) {
        const auto user = UserInfo::fromJSON(element);
        EXPECT_EQ(user.onlineStatus, user.id == 4 ? 1 : 0) << user.name;
    }
}

TEST_F(LiveStateTest, ChangesFromOtherThreadsWhileRequestsRunStayConsistent) {
    std::atomic<bool> done{false};
    std::thread signalling([this, &done] {
        for (int round = 0; !done; ++round) {
            state_.setOnline(5, round % 2 == 0);
            state_.setListening(5, 105, true);
        }
    });
    for (int i = 0; i < 20; ++i) {
        const auto ids = idsIn(listenersOf(105));
        EXPECT_TRUE(ids.empty() || ids == std::vector<std::int64_t>{5});
    }
    done = true;
    signalling.join();
}

}  // namespace
}  // namespace intercom
