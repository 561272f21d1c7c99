#include "ServerTest.h"

#include <httplib.h>

namespace intercom::test {

void ServerTest::SetUp() {
    std::string error;
    server_ = ServerChild::start(INTERCOM_SERVER_PATH, {"--data", INTERCOM_DEMO_DATA}, error);
    ASSERT_TRUE(server_) << error;
}

std::unique_ptr<SignallingClient> ServerTest::connect() {
    auto client = std::make_unique<SignallingClient>(server_->signallingPort());
    EXPECT_TRUE(client->isOpen());
    return client;
}

std::unique_ptr<SignallingClient> ServerTest::user(std::int64_t userId, std::int64_t sceneId) {
    auto client = connect();
    EXPECT_EQ(client->bind(userId, sceneId), 1) << "user " << userId;
    return client;
}

void ServerTest::settle(std::initializer_list<SignallingClient*> clients) {
    for (auto* client : clients) {
        client->drain();
    }
}

nlohmann::json ServerTest::post(const std::string& path, const std::string& form) {
    httplib::Client client("127.0.0.1", server_->httpPort());
    client.set_read_timeout(20, 0);
    const auto reply = client.Post(path, form, "application/x-www-form-urlencoded");
    if (!reply) {
        return nullptr;
    }
    return nlohmann::json::parse(reply->body, nullptr, false);
}

std::vector<Message> typesOf(const std::vector<Frame>& frames) {
    std::vector<Message> types;
    for (const auto& frame : frames) {
        types.push_back(frame.type);
    }
    return types;
}

}  // namespace intercom::test
