// A deleted user ends the client process: with status 0, its stored user removed, and no
// crash or sanitizer report from threads still running.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "ServerChild.h"
#include "support/TempDir.h"

namespace intercom::test {
namespace {

std::string runToEnd(std::vector<std::string> command, int& status) {
    int output = -1;
    const pid_t pid = spawnServer(std::move(command), false, output);
    std::string text;
    char buffer[256];
    ssize_t count = 0;
    while ((count = ::read(output, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(output);
    ::waitpid(pid, &status, 0);
    return text;
}

TEST(HomePageExit, UserDeletedEndsTheProcessWithStatusZeroAndNoStoredUser) {
    std::string error;
    const auto server = ServerChild::start(INTERCOM_SERVER_PATH, {}, error);
    ASSERT_TRUE(server) << error;
    const TempDir config;
    int output = -1;
    const pid_t host =
        spawnServer({INTERCOM_HOME_PAGE_HOST, config.path().string(),
                     std::to_string(server->httpPort()), std::to_string(server->signallingPort())},
                    false, output);
    ASSERT_GT(host, 0);
    httplib::Client client("127.0.0.1", server->httpPort());
    // Voice and presence first, so that the pool threads and the audio thread are busy
    // when the deletion arrives.
    bool connected = false;
    for (int i = 0; i < 400 && !connected; ++i) {
        const auto reply = client.Post(
            "/admin/push", httplib::Params{{"uid", "1"}, {"type", "30"}, {"payload", "00000002"}});
        connected = reply && reply->body.find("\"code\":1") != std::string::npos;
        if (!connected) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(connected);
    for (int i = 0; i < 20; ++i) {
        client.Post(
            "/admin/push",
            httplib::Params{{"uid", "1"}, {"type", "2"}, {"payload", std::string(64, '3')}});
    }
    const auto reply =
        client.Post("/admin/push", httplib::Params{{"uid", "1"}, {"type", "74"}, {"payload", ""}});
    ASSERT_TRUE(reply);

    int status = -1;
    ::waitpid(host, &status, 0);
    ::close(output);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    int checkStatus = -1;
    EXPECT_EQ(
        runToEnd({INTERCOM_HOME_PAGE_HOST, config.path().string(), "--stored-user"}, checkStatus),
        "none\n");
}

}  // namespace
}  // namespace intercom::test
