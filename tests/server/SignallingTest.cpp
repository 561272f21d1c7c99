#include <atomic>
#include <cstdio>
#include <fstream>
#include <set>
#include <thread>

#include "ServerTest.h"
#include "TempDir.h"
#include "net/signalling/FrameBuilder.h"
#include "platform/Bytes.h"

namespace intercom::test {
namespace {

using Types = std::vector<Message>;

class SignallingTest : public ServerTest {};

// The listening users' ids of a `channelListenersChange` payload, read the way the client
// reads it: from the first "[" to the first "]".
std::vector<std::int64_t> listenerIds(const Frame& frame) {
    const std::string text(frame.payload.begin(), frame.payload.end());
    const auto open = text.find('[');
    const auto close = text.find(']');
    std::vector<std::int64_t> ids;
    if (open == std::string::npos || close == std::string::npos || close < open) {
        ADD_FAILURE() << "no JSON array in " << text;
        return ids;
    }
    const auto users = nlohmann::json::parse(text.substr(open, close - open + 1), nullptr, false);
    EXPECT_TRUE(users.is_array()) << text;
    for (const auto& user : users) {
        ids.push_back(user.value("id", std::int64_t{-1}));
    }
    return ids;
}

TEST_F(SignallingTest, BindingAnswersWithAStatusAndOnlyForTheUsersOwnScene) {
    auto client = connect();
    EXPECT_EQ(client->bind(99, 1), 0);  // no such user
    EXPECT_EQ(client->bind(3, 2), 0);   // user 3 belongs to scene 1
    // Requests before a good bind are answered, and refused.
    EXPECT_EQ(client->request(Message::channelPriorityDodge, dodgeFrame(3, 1, -10)), 0);
    EXPECT_EQ(client->bind(3, 1), 1);
    EXPECT_EQ(client->bind(3, 1), 1);

    EXPECT_EQ(client->request(Message::channelPriorityDodge, dodgeFrame(3, 1, -10)), 1);
    EXPECT_EQ(client->request(Message::turnPage, turnPageFrame(3, 1, {101, 102})), 1);
    EXPECT_EQ(client->request(Message::turnPage, turnPageFrame(3, 1, {})), 1);
    EXPECT_EQ(client->request(Message::turnPage, turnPageFrame(3, 1, {201})), 0);
    EXPECT_EQ(client->request(Message::channelListenerTap,
                              listenerFrame(Message::channelListenerTap, 3, 1, 101, true)),
              1);
    EXPECT_EQ(client->request(Message::channelListenerPress,
                              listenerFrame(Message::channelListenerPress, 3, 1, 101, false)),
              1);
    // A frame speaking for another user or scene is refused.
    EXPECT_EQ(client->request(Message::channelPriorityDodge, dodgeFrame(4, 1, -10)), 0);
    EXPECT_EQ(client->request(Message::channelListenerTap,
                              listenerFrame(Message::channelListenerTap, 3, 2, 101, true)),
              0);
    // A ping gets no answer.
    client->send(*FrameBuilder(Message::ping).text("ping").finish());
    EXPECT_TRUE(client->drain().empty());
}

TEST_F(SignallingTest, TheSceneHearsWhoComesOnlineAndWhoDrops) {
    auto first = user(1, 1);
    auto other = user(6, 2);
    auto second = user(2, 1);

    const auto online = first->nextOf(Message::userOnline);
    ASSERT_TRUE(online);
    EXPECT_EQ(online->payload, Bytes({0, 0, 0, 2}));
    EXPECT_EQ(typesOf(first->drain()), Types{}) << "user 6 is in another scene";
    EXPECT_EQ(typesOf(second->drain()), Types{}) << "nobody hears of their own binding";
    EXPECT_EQ(typesOf(other->drain()), Types{});

    second->close();
    const auto offline = first->nextOf(Message::userOffline);
    ASSERT_TRUE(offline);
    EXPECT_EQ(offline->payload, Bytes({0, 0, 0, 2}));
    EXPECT_EQ(typesOf(other->drain()), Types{});
}

TEST_F(SignallingTest, ChannelVoiceReachesEachListenerOnceAndNeverTheTalker) {
    auto talker = user(1, 1);
    auto both = user(2, 1);       // listens to 101 both ways and to 102
    auto deaf = user(3, 1);       // listens to nothing
    auto elsewhere = user(5, 1);  // listens to 105 only
    both->request(Message::channelListenerTap,
                  listenerFrame(Message::channelListenerTap, 2, 1, 101, true));
    both->request(Message::channelListenerPress,
                  listenerFrame(Message::channelListenerPress, 2, 1, 101, true));
    both->request(Message::channelListenerTap,
                  listenerFrame(Message::channelListenerTap, 2, 1, 102, true));
    elsewhere->request(Message::channelListenerTap,
                       listenerFrame(Message::channelListenerTap, 5, 1, 105, true));
    settle({talker.get(), both.get(), deaf.get(), elsewhere.get()});

    const auto block = voiceBlock(1);
    talker->send(audioFrame(Message::audioChannels, 1, 1, {101, 102}, block));
    const auto voice = both->next();
    ASSERT_TRUE(voice);
    EXPECT_EQ(voice->type, Message::audioData);
    EXPECT_EQ(voice->payload, block);
    EXPECT_EQ(typesOf(both->drain()), Types{}) << "one frame per receiver";
    EXPECT_EQ(typesOf(talker->drain()), Types{});
    EXPECT_EQ(typesOf(deaf->drain()), Types{});
    EXPECT_EQ(typesOf(elsewhere->drain()), Types{});

    // The small broadcast names the page's groups and reaches their listeners alike.
    const auto second = voiceBlock(2);
    talker->send(audioFrame(Message::audioSmallBroadcast, 1, 1, {101, 102, 105}, second));
    for (auto* listener : {both.get(), elsewhere.get()}) {
        const auto heard = listener->next();
        ASSERT_TRUE(heard);
        EXPECT_EQ(heard->type, Message::audioData);
        EXPECT_EQ(heard->payload, second);
    }
    EXPECT_EQ(typesOf(deaf->drain()), Types{});

    // Once the last selection of a group goes, its voice stops.
    both->request(Message::channelListenerTap,
                  listenerFrame(Message::channelListenerTap, 2, 1, 102, false));
    both->request(Message::channelListenerTap,
                  listenerFrame(Message::channelListenerTap, 2, 1, 101, false));
    talker->send(audioFrame(Message::audioChannels, 1, 1, {101}, voiceBlock(3)));
    ASSERT_TRUE(both->next()) << "still pressed";
    both->request(Message::channelListenerPress,
                  listenerFrame(Message::channelListenerPress, 2, 1, 101, false));
    talker->send(audioFrame(Message::audioChannels, 1, 1, {101, 102}, voiceBlock(4)));
    talker->drain();
    EXPECT_EQ(typesOf(both->drain()), Types{});
}

TEST_F(SignallingTest, BigBroadcastReachesEveryOtherUserOfTheScene) {
    auto talker = user(1, 1);
    auto second = user(2, 1);
    auto third = user(5, 1);
    auto other = user(7, 2);
    settle({talker.get(), second.get(), third.get(), other.get()});

    const auto block = voiceBlock(9);
    talker->send(audioFrame(Message::audioBigBroadcast, 1, 1, {}, block));
    for (auto* listener : {second.get(), third.get()}) {
        const auto heard = listener->next();
        ASSERT_TRUE(heard);
        EXPECT_EQ(heard->type, Message::audioData);
        EXPECT_EQ(heard->payload, block);
    }
    EXPECT_EQ(typesOf(talker->drain()), Types{});
    EXPECT_EQ(typesOf(other->drain()), Types{});
}

TEST_F(SignallingTest, ListenerChangesGoToTheUsersShowingTheGroupAndToTheHTTPSide) {
    auto viewer = user(1, 1);
    auto listener = user(2, 1);
    auto unconcerned = user(3, 1);
    viewer->request(Message::turnPage, turnPageFrame(1, 1, {101, 102}));
    unconcerned->request(Message::turnPage, turnPageFrame(3, 1, {113}));
    settle({viewer.get(), listener.get(), unconcerned.get()});

    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 2, 1, 101, true));
    auto change = viewer->next();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->type, Message::channelListenersChange);
    EXPECT_EQ(leadingInt(change->payload), 101);
    EXPECT_EQ(listenerIds(*change), std::vector<std::int64_t>{2});
    const auto reply = post("/api/groupListenUsers", "id=101&sceneId=1");
    ASSERT_EQ(reply.value("code", 0), 1) << reply.dump();
    ASSERT_EQ(reply["data"]["users"].size(), 1u);
    EXPECT_EQ(reply["data"]["users"][0]["id"], 2);

    // A second selection of a group already listened to changes no list.
    listener->request(Message::channelListenerPress,
                      listenerFrame(Message::channelListenerPress, 2, 1, 101, true));
    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 2, 1, 101, false));
    EXPECT_EQ(typesOf(viewer->drain()), Types{});
    listener->request(Message::channelListenerPress,
                      listenerFrame(Message::channelListenerPress, 2, 1, 101, false));
    change = viewer->next();
    ASSERT_TRUE(change);
    EXPECT_EQ(leadingInt(change->payload), 101);
    EXPECT_EQ(listenerIds(*change), std::vector<std::int64_t>{});
    EXPECT_EQ(post("/api/groupListenUsers", "id=101&sceneId=1")["data"]["users"].size(), 0u);

    // A user who drops stops listening, and the viewers hear of it.
    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 2, 1, 102, true));
    viewer->nextOf(Message::channelListenersChange);
    listener->close();
    std::vector<Frame> before;
    change = viewer->nextOf(Message::channelListenersChange, &before);
    ASSERT_TRUE(change);
    EXPECT_EQ(leadingInt(change->payload), 102);
    EXPECT_EQ(listenerIds(*change), std::vector<std::int64_t>{});
    EXPECT_EQ(viewer->nextOf(Message::userOffline)->payload, Bytes({0, 0, 0, 2}));
    EXPECT_EQ(post("/api/groupListenUsers", "id=102&sceneId=1")["data"]["users"].size(), 0u);

    EXPECT_EQ(typesOf(unconcerned->drain()), Types{Message::userOffline});
}

TEST_F(SignallingTest, TheGroupsOnScreenOutliveTheConnectionThatShowedThem) {
    // A client that gets its link back announces its listening again but not its page; the
    // page it still shows must go on hearing of its listeners.
    auto viewer = user(1, 1);
    viewer->request(Message::turnPage, turnPageFrame(1, 1, {101, 102}));
    auto listener = user(2, 1);
    settle({viewer.get(), listener.get()});

    viewer->close();
    listener->nextOf(Message::userOffline);
    viewer = user(1, 1);
    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 2, 1, 101, true));
    auto change = viewer->nextOf(Message::channelListenersChange);
    ASSERT_TRUE(change);
    EXPECT_EQ(leadingInt(change->payload), 101);
    EXPECT_EQ(listenerIds(*change), std::vector<std::int64_t>{2});

    // A new connection that replaces a stale one keeps the page as well.
    auto fresh = user(1, 1);
    EXPECT_TRUE(viewer->closedByServer());
    listener->request(Message::channelListenerPress,
                      listenerFrame(Message::channelListenerPress, 2, 1, 102, true));
    change = fresh->nextOf(Message::channelListenersChange);
    ASSERT_TRUE(change);
    EXPECT_EQ(leadingInt(change->payload), 102);
    EXPECT_EQ(listenerIds(*change), std::vector<std::int64_t>{2});

    // Groups that the page does not show stay quiet.
    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 2, 1, 103, true));
    EXPECT_EQ(typesOf(fresh->drain()), Types{});
}

TEST_F(SignallingTest, AdminPushSendsTheFrameToTheConnectedUser) {
    auto client = user(4, 1);
    auto reply = post("/admin/push", "uid=4&type=80&payload=00000001");
    EXPECT_EQ(reply.value("code", 0), 1) << reply.dump();
    auto frame = client->next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, Message::tally);
    EXPECT_EQ(frame->payload, Bytes({0, 0, 0, 1}));

    EXPECT_EQ(post("/admin/push", "uid=4&type=71&payload=e78e8be88ab3").value("code", 0), 1);
    frame = client->next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, Message::userNameChange);
    EXPECT_EQ(textAfter(frame->payload, 0), "王芳");

    EXPECT_EQ(post("/admin/push", "uid=4&type=73&payload=").value("code", 0), 1);
    frame = client->next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, Message::chatListChange);
    EXPECT_TRUE(frame->payload.empty());

    // Not connected, or a form that does not make a frame: another code, a reason, nothing sent.
    for (const auto* form :
         {"uid=5&type=80&payload=01", "uid=4&type=80&payload=0g", "uid=4&type=80&payload=001",
          "uid=4&type=x&payload=", "uid=4&type=4294967296&payload=", "uid=4&type=80"}) {
        reply = post("/admin/push", form);
        EXPECT_NE(reply.value("code", 1), 1) << form;
        EXPECT_FALSE(reply.value("msg", std::string()).empty()) << form;
    }
    EXPECT_EQ(typesOf(client->drain()), Types{});
}

TEST_F(SignallingTest, OperatorPushesFromManyHTTPThreadsEachArriveOnceWhileTheSceneIsBusy) {
    auto client = user(4, 1);
    auto busy = user(2, 1);
    settle({client.get(), busy.get()});
    constexpr int kPushers = 4;
    constexpr int kPushesEach = 25;
    std::atomic<int> refused{0};
    std::vector<std::thread> pushers;
    for (int pusher = 0; pusher < kPushers; ++pusher) {
        pushers.emplace_back([this, pusher, &refused] {
            for (int i = 0; i < kPushesEach; ++i) {
                char payload[9];
                std::snprintf(payload, sizeof payload, "%08x", pusher * 1000 + i);
                const auto form = std::string("uid=4&type=80&payload=") + payload;
                if (post("/admin/push", form).value("code", 0) != 1) {
                    ++refused;
                }
            }
        });
    }
    // Meanwhile the network thread changes the live state that the HTTP threads read.
    std::thread reader([this] {
        for (int i = 0; i < kPushesEach; ++i) {
            const auto users = post("/api/groupListenUsers", "id=101&sceneId=1")["data"]["users"];
            EXPECT_TRUE(users.is_array() && users.size() <= 1) << users.dump();
        }
    });
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(busy->request(Message::channelListenerTap,
                                listenerFrame(Message::channelListenerTap, 2, 1, 101, i % 2 == 0)),
                  1);
    }
    for (auto& pusher : pushers) {
        pusher.join();
    }
    reader.join();
    EXPECT_EQ(refused, 0);

    std::multiset<std::int64_t> received;
    for (int i = 0; i < kPushers * kPushesEach; ++i) {
        const auto frame = client->nextOf(Message::tally);
        ASSERT_TRUE(frame) << "after " << i << " pushes";
        received.insert(leadingInt(frame->payload));
    }
    std::multiset<std::int64_t> sent;
    for (int pusher = 0; pusher < kPushers; ++pusher) {
        for (int i = 0; i < kPushesEach; ++i) {
            sent.insert(pusher * 1000 + i);
        }
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(typesOf(client->drain()), Types{});
}

TEST_F(SignallingTest, AMalformedFrameCostsOnlyItsSender) {
    auto talker = user(1, 1);
    auto listener = user(2, 1);
    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 2, 1, 101, true));
    auto sloppy = user(3, 1);
    settle({talker.get(), listener.get(), sloppy.get()});

    // Short payloads and unknown types are ignored; the connection goes on.
    EXPECT_EQ(sloppy->request(Message::sceneBind, *makeFrame(Message::sceneBind, Bytes{0, 0})), 0);
    EXPECT_EQ(
        sloppy->request(Message::turnPage,
                        *FrameBuilder(Message::turnPage).integer(3).integer(1).integer(5).finish()),
        0);
    sloppy->send(*makeFrame(25, Bytes{1, 2, 3}));
    sloppy->send(*makeFrame(-999, Bytes{}));
    sloppy->send(*makeFrame(Message::audioChannels, Bytes{0, 0, 0, 3, 0, 0, 0, 1, 0x7F, 0, 0, 0}));
    sloppy->send(*makeFrame(Message::callOnline, Bytes{0, 0, 0, 3}));
    sloppy->send(*makeFrame(Message::audioChat, Bytes{0, 0}));
    EXPECT_EQ(typesOf(sloppy->drain()), Types{});
    EXPECT_EQ(typesOf(listener->drain()), Types{});

    // A length field out of range ends the sender's connection, and only its.
    sloppy->send(Bytes{0, 0, 0, 2, 0, 0});
    EXPECT_TRUE(sloppy->closedByServer());
    auto huge = user(3, 1);
    huge->send(Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1});
    EXPECT_TRUE(huge->closedByServer());

    const auto block = voiceBlock(5);
    talker->send(audioFrame(Message::audioChannels, 1, 1, {101}, block));
    const auto heard = listener->nextOf(Message::audioData);
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->payload, block);
}

TEST_F(SignallingTest, FramesSplitAndJoinedByTheStreamAreHandledWhole) {
    auto talker = connect();
    auto listener = user(2, 1);
    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 2, 1, 101, true));
    settle({listener.get()});

    // The bind and two voice frames in one write, then a frame one byte at a time.
    Bytes joined = sceneBindFrame(1, 1);
    const auto first = audioFrame(Message::audioChannels, 1, 1, {101}, voiceBlock(6));
    const auto second = audioFrame(Message::audioChannels, 1, 1, {101}, voiceBlock(7));
    joined.insert(joined.end(), first.begin(), first.end());
    joined.insert(joined.end(), second.begin(), second.end());
    talker->send(joined);
    for (const auto byte : audioFrame(Message::audioChannels, 1, 1, {101}, voiceBlock(8))) {
        talker->send(Bytes{byte});
    }
    for (const std::uint8_t seed : {6, 7, 8}) {
        const auto heard = listener->nextOf(Message::audioData);
        ASSERT_TRUE(heard);
        EXPECT_EQ(heard->payload, voiceBlock(seed));
    }
}

TEST_F(SignallingTest, ANewConnectionOfTheSameUserReplacesTheOldOne) {
    auto watcher = user(1, 1);
    auto old = user(2, 1);
    old->request(Message::channelListenerTap,
                 listenerFrame(Message::channelListenerTap, 2, 1, 101, true));
    settle({watcher.get()});
    auto fresh = user(2, 1);
    EXPECT_TRUE(old->closedByServer());
    EXPECT_EQ(typesOf(watcher->drain()), (Types{Message::userOffline, Message::userOnline}));
    EXPECT_EQ(post("/admin/push", "uid=2&type=80&payload=00000002").value("code", 0), 1);
    EXPECT_EQ(fresh->nextOf(Message::tally)->payload, Bytes({0, 0, 0, 2}));

    // The old connection's listening went with it.
    watcher->send(audioFrame(Message::audioChannels, 1, 1, {101}, voiceBlock(1)));
    watcher->drain();
    EXPECT_EQ(typesOf(fresh->drain()), Types{});
}

TEST_F(SignallingTest, ListenerNamesWithBracketsKeepTheArrayWhole) {
    // Names and remarks are data; a "]" in them must not end the array that the client cuts
    // out at the first "]".
    TempDir folder;
    auto document = nlohmann::json::parse(std::ifstream(INTERCOM_DEMO_DATA));
    document["users"][2]["name"] = "王]芳";
    document["users"][2]["remark"] = "[灯光]";
    const auto dataFile = folder.path() / "brackets.json";
    std::ofstream(dataFile) << document.dump();
    server_.reset();
    std::string error;
    server_ = ServerChild::start(INTERCOM_SERVER_PATH, {"--data", dataFile.string()}, error);
    ASSERT_TRUE(server_) << error;

    auto viewer = user(1, 1);
    viewer->request(Message::turnPage, turnPageFrame(1, 1, {104}));
    settle({viewer.get()});
    auto listener = user(3, 1);
    listener->request(Message::channelListenerTap,
                      listenerFrame(Message::channelListenerTap, 3, 1, 104, true));
    const auto change = viewer->nextOf(Message::channelListenersChange);
    ASSERT_TRUE(change);
    EXPECT_EQ(listenerIds(*change), std::vector<std::int64_t>{3});
    const std::string text(change->payload.begin() + 4, change->payload.end());
    EXPECT_EQ(nlohmann::json::parse(text)[0]["name"], "王]芳");
}

}  // namespace
}  // namespace intercom::test
