#include <gtest/gtest.h>

#include <string>

#include "model/Setting.h"
#include "model/UserInfo.h"
#include "platform/KeyValueStore.h"

using intercom::Bytes;
using intercom::KeyValueStore;
using intercom::Setting;
using intercom::UserInfo;

namespace {

void storeRaw(const std::string& key, const std::string& text) {
    KeyValueStore::standard().set(key, Bytes(text.begin(), text.end()));
}

std::string raw(const std::string& key) {
    const auto bytes = KeyValueStore::standard().get(key);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<absent>";
}

UserInfo sampleUser() {
    UserInfo user;
    user.id = 7;
    user.name = "张伟 Zhang";
    user.code = "密码123";
    user.enabled = 1;
    user.level = 1;
    user.onlineStatus = 1;
    user.remark = "值班";
    user.companyId = "c-1";
    user.sceneId = 3;
    user.companyName = "某公司";
    return user;
}

const char* const kWholeUser =
    R"({"id":7,"name":"n","code":"c","enabled":0,"level":0,"onlineStatus":0,"remark":"",)"
    R"("companyId":"","sceneId":3,"companyName":""})";

}  // namespace

class StoredRecords : public ::testing::Test {
  protected:
    void SetUp() override {
        KeyValueStore::standard().remove("UserInfo");
        KeyValueStore::standard().remove("Setting");
    }
};

TEST_F(StoredRecords, NothingStoredGivesDefaults) {
    EXPECT_EQ(UserInfo::current(), UserInfo{});
    const auto setting = Setting::load();
    EXPECT_TRUE(setting.isSidetoneBlocking);
    EXPECT_TRUE(setting.isScreenAlwaysOn);
    EXPECT_FALSE(setting.isSpeakingBeep || setting.isCallingRing || setting.isCallingShock ||
                 setting.isReconnectBeep);
    EXPECT_EQ(setting.audioEnhance, 0);
    EXPECT_EQ(setting.channelDodge, -10);
}

TEST_F(StoredRecords, UserRoundTripsAndClears) {
    ASSERT_TRUE(sampleUser().save());
    EXPECT_EQ(UserInfo::current(), sampleUser());
    ASSERT_TRUE(UserInfo::clear());
    EXPECT_EQ(UserInfo::current(), UserInfo{});
    EXPECT_EQ(raw("UserInfo"), "<absent>");
    ASSERT_TRUE(sampleUser().save());
    EXPECT_EQ(UserInfo::current().name, "张伟 Zhang");
}

TEST_F(StoredRecords, UserStrictDecodeRefusesTheWholeRecord) {
    storeRaw("UserInfo", kWholeUser);
    ASSERT_EQ(UserInfo::current().id, 7) << "the well-formed base case must load";

    const std::string broken[] = {
        R"({"id":"7","name":"n","code":"c","enabled":0,"level":0,"onlineStatus":0,"remark":"","companyId":"","sceneId":3,"companyName":""})",
        R"({"name":"n","code":"c","enabled":0,"level":0,"onlineStatus":0,"remark":"","companyId":"","sceneId":3,"companyName":""})",
        R"({"id":7,"name":null,"code":"c","enabled":0,"level":0,"onlineStatus":0,"remark":"","companyId":"","sceneId":3,"companyName":""})",
        R"({"id":7.5,"name":"n","code":"c","enabled":0,"level":0,"onlineStatus":0,"remark":"","companyId":"","sceneId":3,"companyName":""})",
        R"({"id":18446744073709551615,"name":"n","code":"c","enabled":0,"level":0,"onlineStatus":0,"remark":"","companyId":"","sceneId":3,"companyName":""})",
        R"({"id":7,"name":"n","code":"c","enabled":0,"le)",
        R"([1,2,3])",
        "not json at all",
        "",
    };
    for (const auto& text : broken) {
        storeRaw("UserInfo", text);
        EXPECT_EQ(UserInfo::current(), UserInfo{}) << text;
        EXPECT_EQ(raw("UserInfo"), text) << "a failed load must leave the entry as it was";
    }
}

TEST_F(StoredRecords, UserIgnoresUnknownKeysAndAcceptsIntegralFloats) {
    std::string text = kWholeUser;
    text.insert(1, R"("extra":[1],)");
    storeRaw("UserInfo", text);
    EXPECT_EQ(UserInfo::current().sceneId, 3);
    storeRaw("UserInfo", std::string(kWholeUser).replace(6, 1, "7.0"));
    EXPECT_EQ(UserInfo::current().id, 7);
}

TEST_F(StoredRecords, UserThatCannotBeEncodedIsNotStored) {
    ASSERT_TRUE(sampleUser().save());
    auto user = sampleUser();
    user.name = std::string("\xff\xfe", 2);
    EXPECT_FALSE(user.save());
    EXPECT_EQ(UserInfo::current(), sampleUser());
}

TEST_F(StoredRecords, SettingRoundTripsEveryFieldWithSigns) {
    Setting setting = Setting::load();
    setting.isSidetoneBlocking = false;
    setting.isSpeakingBeep = true;
    setting.isReconnectBeep = true;
    setting.audioEnhance = -6;
    setting.channelDodge = -10;
    ASSERT_TRUE(setting.save());
    EXPECT_EQ(Setting::load(), setting);
    EXPECT_EQ(Setting::load().channelDodge, -10);

    auto changed = Setting::load();
    changed.audioEnhance = 12;
    ASSERT_TRUE(changed.save());
    auto expected = setting;
    expected.audioEnhance = 12;
    EXPECT_EQ(Setting::load(), expected);
}

TEST_F(StoredRecords, SettingStrictDecodeRefusesTheWholeRecord) {
    const std::string whole =
        R"({"isSidetoneBlocking":false,"isScreenAlwaysOn":true,"isSpeakingBeep":true,)"
        R"("isCallingRing":true,"isCallingShock":false,"isReconnectBeep":true,)"
        R"("audioEnhance":5,"channelDodge":-3})";
    storeRaw("Setting", whole);
    ASSERT_EQ(Setting::load().channelDodge, -3);
    ASSERT_EQ(Setting::load().audioEnhance, 5);
    std::string integralFloat = whole;
    integralFloat.replace(integralFloat.find("5,"), 1, "5.0");
    storeRaw("Setting", integralFloat);
    EXPECT_EQ(Setting::load().audioEnhance, 5);
    EXPECT_EQ(Setting::load().isSpeakingBeep, true) << "the whole record, not the defaults";

    const std::string withoutDodge = whole.substr(0, whole.find(",\"channelDodge")) + "}";
    std::string numericSwitch = whole;
    numericSwitch.replace(numericSwitch.find("\"isSpeakingBeep\":true"), 21,
                          "\"isSpeakingBeep\":1");
    std::string fraction = whole;
    fraction.replace(fraction.find("5,"), 1, "5.5");
    for (const auto& text :
         {withoutDodge, numericSwitch, fraction, std::string("null"), std::string("{")}) {
        storeRaw("Setting", text);
        EXPECT_EQ(Setting::load(), Setting{}) << text;
        EXPECT_EQ(raw("Setting"), text);
    }
}
