#include <gtest/gtest.h>

#include "net/api/FormEncoding.h"
#include "net/api/PostForm.h"

namespace intercom::api {
namespace {

TEST(FormEncodingTest, EscapesEverythingButUnreservedCharacters) {
    EXPECT_EQ(percentEscape("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(percentEscape("张 伟"), "%E5%BC%A0%20%E4%BC%9F");
    EXPECT_EQ(percentEscape("&=+%/?#\n"), "%26%3D%2B%25%2F%3F%23%0A");
    EXPECT_EQ(percentEscape(std::string("a\0b", 3)), "a%00b");
}

TEST(FormEncodingTest, PairsInNameOrderWithIntegersInDecimal) {
    EXPECT_EQ(formEncode({}), "");
    EXPECT_EQ(formEncode({{"uid", std::int64_t{-9223372036854775807 - 1}},
                          {"pageNum", std::int64_t{12}},
                          {"na me", std::string("")}}),
              "na%20me=&pageNum=12&uid=-9223372036854775808");
}

TEST(DeliverJSONTest, WhatTheCompletionReceives) {
    std::vector<std::optional<JSONValue>> received;
    const JSONCompletion record = [&](std::optional<JSONValue> value) {
        received.push_back(std::move(value));
    };
    deliverJSON(std::nullopt, record);
    deliverJSON(HTTPReply{200, ""}, record);
    deliverJSON(HTTPReply{205, ""}, record);
    deliverJSON(HTTPReply{404, "<h1>Not Found</h1>"}, record);
    deliverJSON(HTTPReply{500, R"({"code":0,"msg":"m"})"}, record);
    ASSERT_EQ(received.size(), 5U);
    EXPECT_FALSE(received[0].has_value());
    EXPECT_FALSE(received[1].has_value());
    ASSERT_TRUE(received[2].has_value());
    EXPECT_EQ(received[2]->kind(), JSONValue::Kind::null);
    ASSERT_TRUE(received[3].has_value());
    EXPECT_EQ(received[3]->kind(), JSONValue::Kind::null);
    ASSERT_TRUE(received[4].has_value());
    EXPECT_EQ((*received[4])["msg"].raw(), "m");
}

}  // namespace
}  // namespace intercom::api
