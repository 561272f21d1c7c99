#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LoopbackSocket.h"
#include "ServerProcess.h"
#include "server/ServerData.h"
#include "server/ServerOptions.h"

namespace intercom {
namespace {

using server::parseServerOptions;

TEST(ServerCommandLineTest, DefaultsAndEveryOption) {
    const auto defaults = parseServerOptions({});
    ASSERT_TRUE(defaults.options.has_value());
    EXPECT_EQ(defaults.options->httpPort, 8001);
    EXPECT_EQ(defaults.options->signallingPort, 6001);
    EXPECT_EQ(defaults.options->dataFile.filename(), "demo.json");

    const auto given =
        parseServerOptions({"--signalling-port", "0", "--data", "x.json", "--http-port", "65535"});
    ASSERT_TRUE(given.options.has_value());
    EXPECT_EQ(given.options->httpPort, 65535);
    EXPECT_EQ(given.options->signallingPort, 0);
    EXPECT_EQ(given.options->dataFile, "x.json");
}

TEST(ServerCommandLineTest, TurnsDownWrongOptions) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{{"--http-port"},
                                                                       {"--http-port", "65536"},
                                                                       {"--http-port", "-1"},
                                                                       {"--signalling-port", "12a"},
                                                                       {"--port", "1"},
                                                                       {"demo.json"}}) {
        const auto parsed = parseServerOptions(arguments);
        EXPECT_FALSE(parsed.options.has_value()) << arguments.front();
        EXPECT_FALSE(parsed.error.empty());
    }
    EXPECT_EQ(test::runServerToExit({"--http-port", "x"}).status, 2);
}

TEST(ServerCommandLineTest, HelpAndVersionAnswerAndStartNothing) {
    // A data file that cannot be read shows that nothing is loaded, let alone started.
    const auto help = test::runServerToExit({"--data", "/nonexistent/data.json", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("usage: intercom-server [--data FILE]", 0), 0U) << help.output;
    for (const auto* option : {"--data", "--http-port", "--signalling-port", "--version"}) {
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    }
    const auto version = test::runServerToExit({"--http-port", "1", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "intercom-server " INTERCOM_VERSION "\n");
}

TEST(ServerCommandLineTest, TheExecutableFindsItsDemoDataInTheBuildTree) {
    // Without --data: the demo file beside the executable.
    const auto server = test::ServerProcess::start();
    ASSERT_NE(server, nullptr);
    EXPECT_NE(server->httpPort(), 0);
}

// A port that another program listened on the usual way (SO_REUSEADDR) and whose last
// connection, which that program closed first, still waits out TIME-WAIT.
std::uint16_t portLeftInTimeWait() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener, 1), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const auto port = ntohs(address.sin_port);
    const int client = test::connectLoopback(port);
    ::close(::accept(listener, nullptr, nullptr));
    char ignored = 0;
    EXPECT_EQ(::recv(client, &ignored, 1, 0), 0);
    ::close(client);
    ::close(listener);
    return port;
}

// Whether a server started with `arguments` gets to listen: it prints its ports only once it
// listens on both. It is ended either way.
bool serverListens(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{INTERCOM_SERVER_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    int output = -1;
    const pid_t pid = test::spawnServer(std::move(command), true, output);
    if (pid < 0) {
        return false;
    }
    std::string printed;
    char chunk[256];
    ssize_t count = 0;
    bool listens = false;
    while (!listens && (count = ::read(output, chunk, sizeof chunk)) > 0) {
        printed.append(chunk, static_cast<std::size_t>(count));
        listens = printed.rfind("http ", 0) == 0 || printed.find("\nhttp ") != std::string::npos;
    }
    if (listens) {
        ::kill(pid, SIGKILL);
    }
    ::close(output);
    ::waitpid(pid, nullptr, 0);
    return listens;
}

TEST(ServerPortTest, OnePortHoldsOneServerAndARestartListensAtOnce) {
    auto first = test::ServerProcess::start();
    ASSERT_NE(first, nullptr);
    const auto http = std::to_string(first->httpPort());
    const auto signalling = std::to_string(first->signallingPort());
    EXPECT_FALSE(serverListens({"--http-port", http, "--signalling-port", "0"}));
    EXPECT_FALSE(serverListens({"--http-port", "0", "--signalling-port", signalling}));

    // The connections that the server itself closed first do not keep its restart out.
    httplib::Client client("127.0.0.1", first->httpPort());
    const auto signIn = client.Post("/api/login", "name=%E5%BC%A0%E4%BC%9F&code=123456",
                                    "application/x-www-form-urlencoded");
    ASSERT_TRUE(signIn);
    EXPECT_EQ(nlohmann::json::parse(signIn->body)["code"], 1);
    first.reset();
    EXPECT_NE(test::ServerProcess::start({"--http-port", http, "--signalling-port", signalling}),
              nullptr);

    // Nor do another program's.
    EXPECT_NE(
        test::ServerProcess::start({"--http-port", std::to_string(portLeftInTimeWait()),
                                    "--signalling-port", std::to_string(portLeftInTimeWait())}),
        nullptr);
}

TEST(ServerDataTest, ABrokenDataFileIsNamedAndTheServerDoesNotStart) {
    const auto missing = test::runServerToExit({"--data", "/nonexistent/data.json"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("/nonexistent/data.json"), std::string::npos);
    EXPECT_EQ(missing.output.rfind("intercom-server: ", 0), 0U) << missing.output;

    const auto base = nlohmann::json::parse(R"({
        "scenes": [{"id": 1, "name": "A"}, {"id": 2, "name": "B"}],
        "users": [{"id": 1, "name": "u", "code": "p", "sceneId": 1}],
        "groups": [{"id": 10, "sceneId": 1, "name": "g"}, {"id": 20, "sceneId": 2, "name": "h"}],
        "pages": [{"id": "p", "sceneId": 1, "name": "P", "groups": [10]}],
        "permissions": [{"userId": 1, "groupId": 10, "speak": true}]})");
    EXPECT_NO_THROW(server::ServerData::fromJSON(base));

    const std::vector<std::pair<std::string, nlohmann::json>> breaks{
        {"/pages/0/groups/0", 20},       // a group of another scene
        {"/users/0/sceneId", 3},         // no such scene
        {"/groups/1/id", 10},            // the same id twice
        {"/permissions/0/groupId", 99},  // no such group
        {"/permissions/0/speak", 1},     // not true or false
        {"/users/0/name", 5},            // not a string
        {"/scenes", nlohmann::json::object()}};
    for (const auto& [pointer, value] : breaks) {
        auto broken = base;
        broken[nlohmann::json::json_pointer(pointer)] = value;
        EXPECT_THROW(server::ServerData::fromJSON(broken), server::DataFileError) << pointer;
    }
}

}  // namespace
}  // namespace intercom
