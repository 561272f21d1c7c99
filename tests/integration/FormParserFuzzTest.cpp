#include <gtest/gtest.h>
#include <httplib.h>

#include <random>

#include "ServerProcess.h"
#include "server/ApiHandler.h"
#include "server/FormParser.h"

namespace intercom {
namespace {

using Fields = std::map<std::string, std::string>;

TEST(FormParserTest, ReadsEscapesPlusSignsAndEmptyValues) {
    EXPECT_EQ(server::parseForm("name=%E5%BC%A0+%e4%bc%9f&code=&x=a%2Bb%26"),
              (Fields{{"name", "张 伟"}, {"code", ""}, {"x", "a+b&"}}));
    EXPECT_EQ(server::parseForm(""), Fields{});
    EXPECT_EQ(server::parseForm("&a=1&&"), (Fields{{"a", "1"}}));
    EXPECT_EQ(server::parseForm("a=b=c"), (Fields{{"a", "b=c"}}));
}

TEST(FormParserTest, TurnsDownWhatIsNoForm) {
    for (const std::string& body : std::vector<std::string>{
             "a", "a=1&b", "a=%", "a=%4", "a=%G1", "%=1", "a=1&a=2", "a=%FF", "a=%C0%80",
             "a=%ED%A0%80", "a=%F4%90%80%80", "a=%E5%BC", std::string("a=\xE5\xBC", 4)}) {
        EXPECT_FALSE(server::parseForm(body).has_value()) << body;
    }
}

// What every answer must be, whatever was asked.
void expectReplyObject(const nlohmann::json& reply, const std::string& body) {
    ASSERT_TRUE(reply.is_object()) << body;
    ASSERT_TRUE(reply.contains("code") && reply["code"].is_number_integer()) << body;
    ASSERT_TRUE(reply.contains("msg") && reply["msg"].is_string()) << body;
    if (reply["code"] != 1) {
        EXPECT_TRUE(reply["data"].is_null()) << body;
    }
}

std::string randomBody(std::mt19937& random) {
    static const std::string kPieces[] = {"name=",
                                          "code=",
                                          "uid=",
                                          "pageNum=",
                                          "id=",
                                          "sceneId=",
                                          "&",
                                          "=",
                                          "%",
                                          "%E5%BC%A0",
                                          "%FF",
                                          "%C0%80",
                                          "+",
                                          "123456",
                                          "张伟",
                                          "-1",
                                          "99999999999999999999",
                                          "1",
                                          "0",
                                          "\xE5\xBC",
                                          "\x00",
                                          "%00",
                                          "%ZZ",
                                          "李娜",
                                          "abc"};
    std::string body;
    const int parts = std::uniform_int_distribution<int>(0, 12)(random);
    for (int i = 0; i < parts; ++i) {
        if (random() % 4 == 0) {
            body.push_back(static_cast<char>(random() % 256));
        } else {
            body += kPieces[random() % std::size(kPieces)];
        }
    }
    return body;
}

const char* const kPaths[] = {"/api/login",        "/api/groupList",
                              "/api/chatUserList", "/api/groupListenUsers",
                              "/api/other",        "/"};

TEST(FormParserFuzzTest, EveryBodyGetsAJSONObjectFromTheHandler) {
    const server::ServerState state(server::ServerData::load(INTERCOM_DEMO_DATA));
    const server::ApiHandler handler(state);
    std::mt19937 random(20240611);
    const std::string valid = "uid=2&pageNum=1&name=%E6%9D%8E%E5%A8%9C&code=123456&id=2";
    for (int i = 0; i < 20000; ++i) {
        std::string body = randomBody(random);
        if (i % 5 == 0) {
            body = valid.substr(0, random() % (valid.size() + 1));
        }
        const auto reply = handler.handle(kPaths[random() % std::size(kPaths)], body);
        expectReplyObject(reply, body);
        EXPECT_NO_THROW(reply.dump());
    }
    const std::string huge =
        "name=" + std::string(1 << 20, 'a') + "&code=" + std::string(1 << 16, '%');
    expectReplyObject(handler.handle("/api/login", huge), "huge");
    expectReplyObject(handler.handle("/api/login", "name=" + std::string(1 << 20, 'x') + "&code=1"),
                      "huge name");
}

TEST(FormParserFuzzTest, TheServerAnswersEveryPostWithAJSONObjectAndKeepsRunning) {
    const auto server = test::ServerProcess::start();
    ASSERT_NE(server, nullptr);
    httplib::Client client("127.0.0.1", server->httpPort());
    client.set_read_timeout(30, 0);
    std::mt19937 random(7);
    const std::string contentTypes[] = {"application/x-www-form-urlencoded; charset=utf-8",
                                        "application/x-www-form-urlencoded", "text/plain",
                                        "application/json"};
    for (int i = 0; i < 300; ++i) {
        std::string body = randomBody(random);
        if (i % 50 == 0) {
            body = "name=" + std::string((1 << 16) + random() % (1 << 21), 'x');
        }
        const auto result = client.Post(kPaths[random() % std::size(kPaths)], body,
                                        contentTypes[random() % std::size(contentTypes)]);
        ASSERT_TRUE(result) << "no answer to: " << body.substr(0, 80);
        expectReplyObject(nlohmann::json::parse(result->body, nullptr, false), body.substr(0, 80));
    }
    const auto get = client.Get("/api/login");
    ASSERT_TRUE(get);
    expectReplyObject(nlohmann::json::parse(get->body, nullptr, false), "GET");

    const auto signIn = client.Post("/api/login", "name=%E5%BC%A0%E4%BC%9F&code=123456",
                                    "application/x-www-form-urlencoded");
    ASSERT_TRUE(signIn);
    EXPECT_EQ(nlohmann::json::parse(signIn->body)["code"], 1);
    EXPECT_TRUE(server->isRunning());
}

}  // namespace
}  // namespace intercom
