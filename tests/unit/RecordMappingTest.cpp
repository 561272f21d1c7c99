#include <gtest/gtest.h>

#include "model/Page.h"
#include "model/UserInfo.h"

using intercom::Group;
using intercom::Page;
using intercom::UserInfo;
using nlohmann::json;

TEST(RecordMapping, IntegerFieldsTakeNumbersStringsAndBooleans) {
    const auto user = UserInfo::fromJSON(
        json::parse(R"({"id":"42","sceneId":3.9,"name":7,"level":true,"enabled":-2.7,
                        "onlineStatus":"-5"})"));
    EXPECT_EQ(user.id, 42);
    EXPECT_EQ(user.sceneId, 3);
    EXPECT_EQ(user.name, "7");
    EXPECT_EQ(user.level, 1);
    EXPECT_EQ(user.enabled, -2);
    EXPECT_EQ(user.onlineStatus, -5);
    EXPECT_EQ(user.code, "");
    EXPECT_EQ(user.companyName, "");
}

TEST(RecordMapping, IntegerStringsMustSpellAnIntegerAndNothingElse) {
    for (const char* text :
         {"4x2", "", " 4", "4 ", "+", "-", "+-4", "4.0", "0x10", "99999999999999999999"}) {
        const auto user = UserInfo::fromJSON(json{{"id", text}});
        EXPECT_EQ(user.id, 0) << "id from \"" << text << '"';
    }
    EXPECT_EQ(UserInfo::fromJSON(json{{"id", "+17"}}).id, 17);
    EXPECT_EQ(UserInfo::fromJSON(json{{"id", "-9223372036854775808"}}).id, INT64_MIN);
}

TEST(RecordMapping, ValuesOfOtherKindsLeaveDefaults) {
    const auto user = UserInfo::fromJSON(json::parse(
        R"({"id":null,"name":null,"level":[1],"sceneId":{"a":1},"remark":false,
            "companyId":1e20,"onlineStatus":1e300})"));
    EXPECT_EQ(user.id, 0);
    EXPECT_EQ(user.name, "");
    EXPECT_EQ(user.level, 0);
    EXPECT_EQ(user.sceneId, 0);
    EXPECT_EQ(user.remark, "false");
    EXPECT_EQ(user.companyId, "100000000000000000000");
    EXPECT_EQ(user.onlineStatus, 0);
}

TEST(RecordMapping, NumbersInTextFieldsBecomePlainDecimalText) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"5", "5"},
        {"5.0", "5"},
        {"-5.0", "-5"},
        {"-0.0", "0"},
        {"1e21", "1000000000000000000000"},
        {"1E23", "100000000000000000000000"},
        {"18446744073709551615", "18446744073709551615"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"5.25", "5.25"},
        {"1e-7", "0.0000001"}};
    for (const auto& [number, text] : cases) {
        const auto user =
            UserInfo::fromJSON(json::parse(std::string(R"({"remark":)") + number + "}"));
        EXPECT_EQ(user.remark, text) << number;
    }
}

TEST(RecordMapping, TextKeepsChineseAndKeysAreCaseSensitive) {
    const auto user = UserInfo::fromJSON(json::parse(R"({"Name":"x","name":"张伟","ID":5})"));
    EXPECT_EQ(user.name, "张伟");
    EXPECT_EQ(user.id, 0);
}

TEST(RecordMapping, PageKeepsGroupOrderAndSkipsNonObjects) {
    const auto page = Page::fromJSON(json::parse(R"({
        "totalPage":"3","pageName":"一楼","pageNum":1,"pageId":12,
        "groups":[{"id":1,"name":"甲"}, 5, {"id":"3","sceneId":5,"permissionListen":"1",
                   "listener":[{"id":9,"name":"李娜"}, "x", null]}, null, {"id":4}]})"));
    EXPECT_EQ(page.totalPage, 3);
    EXPECT_EQ(page.pageName, "一楼");
    EXPECT_EQ(page.pageId, "12");
    ASSERT_EQ(page.groups.size(), 3U);
    EXPECT_EQ(page.groups[0].name, "甲");
    const Group& second = page.groups[1];
    EXPECT_EQ(second.id, 3);
    EXPECT_EQ(second.sceneId, "5");
    EXPECT_EQ(second.permissionListen, 1);
    EXPECT_EQ(second.permissionSpeak, 0);
    ASSERT_EQ(second.listener.size(), 1U);
    EXPECT_EQ(second.listener[0].name, "李娜");
    EXPECT_EQ(page.groups[2].id, 4);
    EXPECT_TRUE(page.groups[2].listener.empty());
}

TEST(RecordMapping, PageWithoutGroupArrayHasNoGroups) {
    EXPECT_TRUE(Page::fromJSON(json::parse(R"({"pageName":"p"})")).groups.empty());
    EXPECT_TRUE(Page::fromJSON(json::parse(R"({"groups":{"id":1}})")).groups.empty());
    EXPECT_EQ(Page::fromJSON(json::array()), Page{});
}
