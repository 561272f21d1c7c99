#include <fstream>
#include <map>
#include <set>

#include "ServerTest.h"
#include "platform/Bytes.h"

namespace intercom::test {
namespace {

using Types = std::vector<Message>;

class PermissionTest : public ServerTest {};

std::int64_t tap(SignallingClient& client, std::int64_t userId, std::int64_t sceneId,
                 std::int64_t groupId, bool on = true) {
    return client.request(Message::channelListenerTap,
                          listenerFrame(Message::channelListenerTap, userId, sceneId, groupId, on));
}

TEST_F(PermissionTest, WhatTheUserMayNotDoIsRefusedAndRelaysNothing) {
    auto director = user(1, 1);  // level 1, speaks and listens everywhere in scene 1
    auto camera = user(2, 1);    // level 0, speaks on 101-104, listens on 101-116
    auto lights = user(3, 1);    // level 0, speaks on 101, 104, 106 and 113
    auto cables = user(4, 1);    // level 0, listens on 113-116 only

    // A listen where the user may not listen is refused and puts it on no list.
    EXPECT_EQ(tap(*cables, 4, 1, 103), 0);
    EXPECT_EQ(cables->request(Message::channelListenerPress,
                              listenerFrame(Message::channelListenerPress, 4, 1, 103, true)),
              0);
    EXPECT_EQ(post("/api/groupListenUsers", "id=103&sceneId=1")["data"]["users"].size(), 0u);
    EXPECT_EQ(tap(*camera, 2, 1, 102), 1);
    EXPECT_EQ(tap(*director, 1, 1, 104), 1);
    settle({director.get(), camera.get(), lights.get(), cables.get()});

    director->send(audioFrame(Message::audioChannels, 1, 1, {103}, voiceBlock(1)));
    director->drain();
    EXPECT_EQ(typesOf(cables->drain()), Types{});

    // Channel voice goes only to the groups where the talker may speak.
    lights->send(audioFrame(Message::audioChannels, 3, 1, {102, 104}, voiceBlock(2)));
    lights->drain();
    const auto heard = director->next();
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->payload, voiceBlock(2));
    EXPECT_EQ(typesOf(camera->drain()), Types{}) << "user 3 may not speak on 102";
    lights->send(audioFrame(Message::audioSmallBroadcast, 3, 1, {102, 103}, voiceBlock(3)));
    lights->drain();
    EXPECT_EQ(typesOf(camera->drain()), Types{});
    EXPECT_EQ(typesOf(director->drain()), Types{});

    // The big broadcast only from level 1.
    camera->send(audioFrame(Message::audioBigBroadcast, 2, 1, {}, voiceBlock(4)));
    camera->drain();
    for (auto* other : {director.get(), lights.get(), cables.get()}) {
        EXPECT_EQ(typesOf(other->drain()), Types{});
    }

    // A refused bind leaves the connection nobody's: it hears nothing it heard before,
    // listens nowhere, and pushes no longer reach it.
    EXPECT_EQ(camera->bind(7, 1), 0) << "user 7 belongs to scene 2";
    EXPECT_EQ(director->nextOf(Message::userOffline)->payload, Bytes({0, 0, 0, 2}));
    EXPECT_EQ(post("/api/groupListenUsers", "id=102&sceneId=1")["data"]["users"].size(), 0u);
    director->send(audioFrame(Message::audioChannels, 1, 1, {102}, voiceBlock(5)));
    director->drain();
    EXPECT_EQ(typesOf(camera->drain()), Types{});
    EXPECT_NE(post("/admin/push", "uid=2&type=80&payload=00000001").value("code", 1), 1);
    EXPECT_EQ(tap(*camera, 2, 1, 102), 0);
    EXPECT_EQ(camera->bind(2, 1), 1) << "a good bind makes it the user's again";
}

// Every user of the demo binds, listens wherever the data lets it and nowhere else, and is
// heard by exactly the users of its scene who listen to a group where it may speak.
TEST_F(PermissionTest, EveryDemoUserIsHeardExactlyWhereTheDataAllows) {
    const auto demo = nlohmann::json::parse(std::ifstream(INTERCOM_DEMO_DATA));
    std::map<std::pair<std::int64_t, std::int64_t>, std::pair<bool, bool>> may;
    for (const auto& entry : demo["permissions"]) {
        may[{entry["userId"], entry["groupId"]}] = {entry.value("speak", false),
                                                    entry.value("listen", false)};
    }
    struct Member {
        std::int64_t id, sceneId, level;
        std::unique_ptr<SignallingClient> client;
        std::set<std::int64_t> listens;
    };
    std::vector<Member> members;
    for (const auto& entry : demo["users"]) {
        const std::int64_t id = entry["id"];
        const std::int64_t sceneId = entry["sceneId"];
        members.push_back(
            {id, sceneId, entry.value("level", std::int64_t{0}), user(id, sceneId), {}});
    }
    for (auto& member : members) {
        for (const auto& group : demo["groups"]) {
            const std::int64_t groupId = group["id"];
            if (group["sceneId"] != member.sceneId) {
                continue;
            }
            const bool allowed = may[{member.id, groupId}].second;
            EXPECT_EQ(tap(*member.client, member.id, member.sceneId, groupId), allowed ? 1 : 0)
                << "user " << member.id << " group " << groupId;
            if (allowed) {
                member.listens.insert(groupId);
            }
        }
    }
    for (auto& member : members) {
        member.client->drain();
    }

    std::uint8_t seed = 0;
    for (auto& talker : members) {
        std::vector<std::int64_t> page;
        for (const auto& group : demo["groups"]) {
            if (group["sceneId"] == talker.sceneId) {
                page.push_back(group["id"]);
            }
        }
        const auto channels = voiceBlock(++seed);
        talker.client->send(
            audioFrame(Message::audioSmallBroadcast, talker.id, talker.sceneId, page, channels));
        const auto broadcast = voiceBlock(++seed);
        talker.client->send(
            audioFrame(Message::audioBigBroadcast, talker.id, talker.sceneId, {}, broadcast));
        talker.client->drain();
        for (auto& other : members) {
            std::vector<Bytes> expected;
            if (&other != &talker && other.sceneId == talker.sceneId) {
                for (const auto groupId : other.listens) {
                    if (may[{talker.id, groupId}].first) {
                        expected.push_back(channels);
                        break;
                    }
                }
                if (talker.level == 1) {
                    expected.push_back(broadcast);
                }
            }
            std::vector<Bytes> got;
            for (const auto& frame : other.client->drain()) {
                EXPECT_EQ(frame.type, Message::audioData);
                got.push_back(frame.payload);
            }
            EXPECT_EQ(got, expected) << "user " << other.id << " hearing user " << talker.id;
        }
    }
}

}  // namespace
}  // namespace intercom::test
