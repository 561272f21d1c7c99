#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "ServerChild.h"
#include "SignallingClient.h"

namespace intercom::test {

// A fresh intercom-server on the demo data for every test, and raw clients against it.
class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override;

    std::unique_ptr<SignallingClient> connect();
    // Connected and bound as the user (demo data: users 1-5 in scene 1, 6-8 in scene 2).
    std::unique_ptr<SignallingClient> user(std::int64_t userId, std::int64_t sceneId);
    // Reads and drops what each client has been sent so far (presence news of the set-up).
    static void settle(std::initializer_list<SignallingClient*> clients);
    // A form posted to the server's HTTP side; its JSON reply (null when none came).
    nlohmann::json post(const std::string& path, const std::string& form);

    std::unique_ptr<ServerChild> server_;
};

std::vector<Message> typesOf(const std::vector<Frame>& frames);

}  // namespace intercom::test
