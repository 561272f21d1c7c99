#include <gtest/gtest.h>

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
