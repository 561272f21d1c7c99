#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/api/JSONValue.h"

namespace intercom::api {
namespace {

TEST(JSONValueTest, KindsOfParsedBytes) {
    EXPECT_EQ(JSONValue::parse("3.5").kind(), JSONValue::Kind::number);
    EXPECT_EQ(JSONValue::parse("\"x\"").kind(), JSONValue::Kind::string);
    EXPECT_EQ(JSONValue::parse("false").kind(), JSONValue::Kind::boolean);
    EXPECT_EQ(JSONValue::parse("[]").kind(), JSONValue::Kind::array);
    EXPECT_EQ(JSONValue::parse("{}").kind(), JSONValue::Kind::object);
    EXPECT_EQ(JSONValue::parse("null").kind(), JSONValue::Kind::null);
    for (const std::string& bytes : std::vector<std::string>{
             "", "<html></html>", "{\"code\":1", "\"\xFF\"", "{} trailing", std::string(1, '\0')}) {
        EXPECT_EQ(JSONValue::parse(bytes).kind(), JSONValue::Kind::null) << bytes;
    }
}

TEST(JSONValueTest, MissingMembersReadAsNull) {
    const auto reply = JSONValue::parse(R"({"code":1,"data":{"users":[{"id":2}]},"msg":null})");
    EXPECT_EQ(reply["data"]["users"].kind(), JSONValue::Kind::array);
    EXPECT_EQ(reply["data"]["users"].raw().size(), 1U);
    EXPECT_EQ(reply["missing"].kind(), JSONValue::Kind::null);
    EXPECT_EQ(reply["missing"]["deeper"].kind(), JSONValue::Kind::null);
    EXPECT_EQ(reply["code"]["users"].kind(), JSONValue::Kind::null);
    EXPECT_EQ(reply["data"]["users"]["id"].kind(), JSONValue::Kind::null);
    EXPECT_EQ(JSONValue()["code"].intValue(), 0);
}

TEST(JSONValueTest, AReplyNestedFarTooDeepIsNoReplyAndCostsNoStack) {
    const auto nested = [](std::size_t depth) {
        return R"({"code":1,"data":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
    };
    const auto usual = JSONValue::parse(nested(8));
    EXPECT_EQ(usual["data"].kind(), JSONValue::Kind::array);
    // Copying the member out is what would recurse once per bracket.
    const auto deep = JSONValue::parse(nested(500000));
    EXPECT_EQ(deep.kind(), JSONValue::Kind::null);
    EXPECT_EQ(deep["data"].kind(), JSONValue::Kind::null);
    EXPECT_EQ(deep["code"].intValue(), 0);
}

TEST(JSONValueTest, IntegerValues) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"1", 1},
        {"-42", -42},
        {"3.9", 3},
        {"-3.9", -3},
        {"\"17\"", 17},
        {"\"-5\"", -5},
        {"\"+6\"", 6},
        {"\"4x\"", 0},
        {"\"\"", 0},
        {"\" 1\"", 0},
        {"true", 1},
        {"false", 0},
        {"null", 0},
        {"[1]", 0},
        {"{\"a\":1}", 0},
        {"1e300", 0},
        {"9223372036854775807", 9223372036854775807},
        {"18446744073709551615", 0}};
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(JSONValue::parse(bytes).intValue(), expected) << bytes;
    }
}

}  // namespace
}  // namespace intercom::api
