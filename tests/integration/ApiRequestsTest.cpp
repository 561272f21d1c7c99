#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "CompletionRecorder.h"
#include "ServerProcess.h"
#include "model/Page.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/api/APIRequests.h"
#include "support/TempDir.h"

namespace intercom {
namespace {

using api::JSONValue;
using test::CompletionRecorder;

class ApiRequestsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(UserInfo::clear());
        server_ = test::ServerProcess::start(extraArguments());
        ASSERT_NE(server_, nullptr);
        api::setAPIBaseURL(server_->baseURL());
    }
    void TearDown() override { api::setAPIBaseURL({}); }

    virtual std::vector<std::string> extraArguments() { return {}; }

    JSONValue signIn(const std::string& name, const std::string& code) {
        CompletionRecorder recorder;
        api::requestLogin(name, code, recorder.completion());
        EXPECT_TRUE(recorder.wait());
        EXPECT_TRUE(recorder.value().has_value());
        return recorder.value().value_or(JSONValue());
    }

    // Signs in as the user and stores the reply's record, as the sign-in page does.
    void signInAndStore(const std::string& name) {
        const auto reply = signIn(name, "123456");
        ASSERT_EQ(reply["code"].intValue(), 1);
        ASSERT_TRUE(UserInfo::fromJSON(reply["data"].raw()).save());
    }

    JSONValue ask(void (*request)(api::JSONCompletion)) {
        CompletionRecorder recorder;
        request(recorder.completion());
        EXPECT_TRUE(recorder.wait());
        EXPECT_TRUE(recorder.value().has_value());
        return recorder.value().value_or(JSONValue());
    }

    std::unique_ptr<test::ServerProcess> server_;
};

TEST_F(ApiRequestsTest, SignInAcceptsTheDemoUserAndGivesTheRecordToStore) {
    const auto reply = signIn("张伟", "123456");
    EXPECT_EQ(reply.kind(), JSONValue::Kind::object);
    EXPECT_EQ(reply["code"].intValue(), 1);
    ASSERT_EQ(reply["data"].kind(), JSONValue::Kind::object);

    const auto user = UserInfo::fromJSON(reply["data"].raw());
    EXPECT_EQ(user.name, "张伟");
    EXPECT_EQ(user.code, "123456");
    EXPECT_EQ(user.level, 1);
    EXPECT_NE(user.id, 0);
    EXPECT_NE(user.sceneId, 0);

    const auto other = UserInfo::fromJSON(signIn("李娜", "123456")["data"].raw());
    EXPECT_EQ(other.level, 0);
    EXPECT_EQ(other.sceneId, user.sceneId);
}

TEST_F(ApiRequestsTest, SignInRefusesAWrongPasswordOrNameWithAMessage) {
    for (const auto& [name, code] : std::vector<std::pair<std::string, std::string>>{
             {"张伟", "654321"}, {"张伟", ""}, {"无此人", "123456"}, {"", ""}}) {
        const auto reply = signIn(name, code);
        EXPECT_NE(reply["code"].intValue(), 1) << name << "/" << code;
        EXPECT_EQ(reply["msg"].kind(), JSONValue::Kind::string);
        EXPECT_EQ(reply["data"].kind(), JSONValue::Kind::null);
    }
}

TEST_F(ApiRequestsTest, WithNothingStoredTheListsAreAskedForUserZeroAndRefused) {
    const auto users = ask(api::requestChatUserList);
    EXPECT_NE(users["code"].intValue(), 1);
    EXPECT_EQ(users["data"]["users"].kind(), JSONValue::Kind::null);
    EXPECT_EQ(users["msg"].kind(), JSONValue::Kind::string);

    CompletionRecorder recorder;
    api::requestGroupList(1, recorder.completion());
    ASSERT_TRUE(recorder.wait());
    EXPECT_EQ((*recorder.value())["data"].kind(), JSONValue::Kind::null);
}

TEST_F(ApiRequestsTest, ThePageReplyMapsIntoAPageWithTheServersGroupOrder) {
    signInAndStore("李娜");
    CompletionRecorder recorder;
    api::requestGroupList(1, recorder.completion());
    ASSERT_TRUE(recorder.wait());
    const auto& reply = *recorder.value();
    ASSERT_EQ(reply["data"].kind(), JSONValue::Kind::object);

    const auto page = Page::fromJSON(reply["data"].raw());
    EXPECT_EQ(page.totalPage, 3);
    EXPECT_EQ(page.pageNum, 1);
    EXPECT_EQ(page.pageName, "主控");
    EXPECT_FALSE(page.pageId.empty());
    ASSERT_EQ(page.groups.size(), 12U);  // more than a row of channel buttons
    for (std::size_t i = 0; i < page.groups.size(); ++i) {
        EXPECT_EQ(page.groups[i].id, 101 + static_cast<std::int64_t>(i));
        EXPECT_EQ(page.groups[i].sceneId, "1");
    }
    EXPECT_EQ(page.groups[0].name, "导演组");
    EXPECT_EQ(page.groups[0].remark, "全体总控");
    // The signed-in user's own permissions: she talks on the first four groups only.
    EXPECT_EQ(page.groups[3].permissionSpeak, 1);
    EXPECT_EQ(page.groups[4].permissionSpeak, 0);
    EXPECT_EQ(page.groups[4].permissionListen, 1);

    CompletionRecorder last;
    api::requestGroupList(3, last.completion());
    ASSERT_TRUE(last.wait());
    const auto lastPage = Page::fromJSON((*last.value())["data"].raw());
    EXPECT_EQ(lastPage.pageNum, 3);
    EXPECT_EQ(lastPage.groups.size(), 2U);

    CompletionRecorder beyond;
    api::requestGroupList(4, beyond.completion());
    ASSERT_TRUE(beyond.wait());
    EXPECT_NE((*beyond.value())["code"].intValue(), 1);
    EXPECT_EQ((*beyond.value())["data"].kind(), JSONValue::Kind::null);
}

TEST_F(ApiRequestsTest, TheCallListHoldsTheOtherUsersOfTheSceneWithoutPasswords) {
    signInAndStore("李娜");
    const auto reply = ask(api::requestChatUserList);
    ASSERT_EQ(reply["data"]["users"].kind(), JSONValue::Kind::array);
    std::vector<std::string> names;
    for (const auto& element : reply["data"]["users"].raw()) {
        const auto user = UserInfo::fromJSON(element);
        names.push_back(user.name);
        EXPECT_TRUE(user.code.empty());
        EXPECT_EQ(user.onlineStatus, 0);
        EXPECT_EQ(user.sceneId, UserInfo::current().sceneId);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"张伟", "王芳", "刘洋", "陈静"}));
}

TEST_F(ApiRequestsTest, NobodyListensToAGroupBeforeAnyoneIsConnected) {
    signInAndStore("张伟");
    CompletionRecorder recorder;
    api::requestGroupListenUsers(101, recorder.completion());
    ASSERT_TRUE(recorder.wait());
    EXPECT_EQ((*recorder.value())["code"].intValue(), 1);
    ASSERT_EQ((*recorder.value())["data"]["users"].kind(), JSONValue::Kind::array);
    EXPECT_TRUE((*recorder.value())["data"]["users"].raw().empty());

    CompletionRecorder otherScene;
    api::requestGroupListenUsers(201, otherScene.completion());
    ASSERT_TRUE(otherScene.wait());
    EXPECT_NE((*otherScene.value())["code"].intValue(), 1);
}

// A data file of the test's own, with a name and a password that need escaping.
class EscapedNameTest : public ApiRequestsTest {
  protected:
    std::vector<std::string> extraArguments() override {
        const auto path = folder_.path() / "escaped.json";
        std::ofstream(path) << R"({
            "scenes": [{"id": 7, "name": "测试"}],
            "users": [{"id": 70, "name": "王 小明", "code": "a&b=c +%d", "sceneId": 7}],
            "groups": [], "pages": [], "permissions": []})";
        return {"--data", path.string()};
    }

    test::TempDir folder_;
};

TEST_F(EscapedNameTest, ANameWithChineseCharactersAndSpacesArrivesIntact) {
    const auto reply = signIn("王 小明", "a&b=c +%d");
    ASSERT_EQ(reply["code"].intValue(), 1);
    EXPECT_EQ(reply["data"]["name"].raw(), "王 小明");
    EXPECT_EQ(reply["data"]["code"].raw(), "a&b=c +%d");

    EXPECT_NE(signIn("王小明", "a&b=c +%d")["code"].intValue(), 1);
}

}  // namespace
}  // namespace intercom
