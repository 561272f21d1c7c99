#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "ConnectionEvents.h"
#include "RecordingPeer.h"
#include "ServerChild.h"
#include "StoredRecords.h"
#include "net/signalling/TCPSocket.h"
#include "support/Hex.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using test::bytesFromHex;
using test::ConnectionEvents;
using test::RecordingPeer;
using Kind = ConnectionEvents::Kind;

// Only a failing test waits this long.
constexpr auto kWait = std::chrono::milliseconds(20s);

const Bytes kPing = bytesFromHex("00 00 00 08 00 00 00 01 70 69 6E 67");

std::vector<RecordingPeer::Received> pingsOf(const std::vector<RecordingPeer::Received>& frames) {
    std::vector<RecordingPeer::Received> pings;
    for (const auto& received : frames) {
        if (received.frame.type == Message::ping) {
            pings.push_back(received);
        }
    }
    return pings;
}

std::function<bool(const std::vector<RecordingPeer::Received>&)> pingCountAtLeast(
    std::size_t wanted) {
    return [wanted](const auto& frames) { return pingsOf(frames).size() >= wanted; };
}

// The user goes to the server first, then the dodge value, then a ping at once; pings then
// keep the real 8 s beat, and a second start does not add a second beat. A timer never fires
// before its time and a busy machine only makes it later, so the beat shows as each ping
// coming no sooner than its place on the beat: ping k at least 8k s after the connect began.
TEST(ConnectionTest, BindsTheUserThenPingsEveryEightSeconds) {
    Setting setting;
    setting.channelDodge = -5;
    const test::StoredRecords records(7, 3, setting);
    RecordingPeer peer;
    auto events = std::make_shared<ConnectionEvents>();
    TCPSocket socket("127.0.0.1", peer.port());
    const auto connecting = RecordingPeer::Clock::now();
    socket.connect(events);

    ASSERT_TRUE(peer.waitUntil(pingCountAtLeast(1), kWait));
    EXPECT_TRUE(events->waitForCount(Kind::connected, 1, kWait));
    const Bytes expected = bytesFromHex(
        "00 00 00 0C 00 00 00 00 00 00 00 07 00 00 00 03"
        "00 00 00 10 00 00 00 16 00 00 00 07 00 00 00 03 FF FF FF FB"
        "00 00 00 08 00 00 00 01 70 69 6E 67");
    EXPECT_EQ(peer.raw(1), expected);
    EXPECT_TRUE(socket.isConnected());

    socket.startPing();
    ASSERT_TRUE(peer.waitUntil(pingCountAtLeast(3), 16s + kWait));
    const auto pings = pingsOf(peer.frames());
    EXPECT_GE(pings[1].at - connecting, 8s);
    EXPECT_GE(pings[2].at - connecting, 16s);
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_EQ(events->count(Kind::disconnected), 0);
}

// The home page pauses the heartbeat while the user talks: nothing goes out then, and a ping
// goes out at once when talking stops. Neither is seen by a clock. Once the pause returns, no
// tick runs any more, so a frame written after it follows every ping there will be; and while
// a connection on the same beat pings five times, the paused one sends none. With a beat of
// an hour, the only ping that can follow a restart is the one that goes out at once.
TEST(ConnectionTest, PausedHeartbeatSendsNothingAndPingsAtOnceWhenStarted) {
    const test::StoredRecords records(7, 3);
    RecordingPeer peer;
    TCPSocket socket("127.0.0.1", peer.port(), {.pingInterval = 100ms});
    socket.connect(std::make_shared<ConnectionEvents>());
    ASSERT_TRUE(peer.waitUntil(pingCountAtLeast(3), kWait));

    socket.stopPing();
    // The pings that have come by the time a frame written now arrives.
    const auto pingsBeforeAFrame = [&] {
        const auto dodges = peer.framesOf(Message::channelPriorityDodge).size();
        socket.sendChannelDodge();
        EXPECT_TRUE(peer.waitUntil(
            [dodges](const auto& frames) {
                return static_cast<std::size_t>(
                           std::count_if(frames.begin(), frames.end(), [](const auto& received) {
                               return received.frame.type == Message::channelPriorityDodge;
                           })) > dodges;
            },
            kWait));
        return pingsOf(peer.frames()).size();
    };
    const auto paused = pingsBeforeAFrame();
    RecordingPeer beatingPeer;
    TCPSocket beating("127.0.0.1", beatingPeer.port(), {.pingInterval = 100ms});
    beating.connect(std::make_shared<ConnectionEvents>());
    ASSERT_TRUE(beatingPeer.waitUntil(pingCountAtLeast(6), kWait));
    EXPECT_EQ(pingsBeforeAFrame(), paused);

    RecordingPeer hourly;
    TCPSocket slow("127.0.0.1", hourly.port(), {.pingInterval = 1h});
    slow.connect(std::make_shared<ConnectionEvents>());
    ASSERT_TRUE(hourly.waitUntil(pingCountAtLeast(1), kWait)) << "the ping on connect";
    slow.stopPing();
    slow.startPing();
    EXPECT_TRUE(hourly.waitUntil(pingCountAtLeast(2), kWait)) << "no ping when started again";
}

// The peer drops the link again and again while another thread keeps restarting the
// heartbeat, as the home page does whenever capture stops, also while the link is down or
// coming up. Whatever tick comes when, every link starts with the bind, then the dodge, then
// the heartbeat's first ping.
TEST(ConnectionTest, EveryLinkStartsWithTheBindTheDodgeAndThenAPing) {
    const test::StoredRecords records(7, 3);
    RecordingPeer peer;
    auto events = std::make_shared<ConnectionEvents>();
    TCPSocket socket("127.0.0.1", peer.port(),
                     {.pingInterval = 2ms, .firstReconnectDelay = 1ms, .reconnectInterval = 2ms});
    socket.connect(events);
    std::atomic<bool> restarting{true};
    std::thread restarter([&] {
        while (restarting) {
            socket.startPing();
            std::this_thread::yield();
        }
    });
    constexpr int kLinks = 200;
    const auto framesOfLink = [](const std::vector<RecordingPeer::Received>& frames, int link) {
        std::vector<Message> types;
        for (const auto& received : frames) {
            if (received.connection == link) {
                types.push_back(received.frame.type);
            }
        }
        return types;
    };
    for (int link = 1; link <= kLinks; ++link) {
        ASSERT_TRUE(peer.waitUntil(
            [&](const auto& frames) { return framesOfLink(frames, link).size() >= 3; }, kWait))
            << "link " << link;
        peer.drop();
    }
    restarting = false;
    restarter.join();

    const auto frames = peer.frames();
    const std::vector<Message> expected = {Message::sceneBind, Message::channelPriorityDodge,
                                           Message::ping};
    int outOfOrder = 0;
    for (int link = 1; link <= kLinks; ++link) {
        auto types = framesOfLink(frames, link);
        types.resize(3);
        outOfOrder += types == expected ? 0 : 1;
        EXPECT_EQ(types, expected) << "link " << link;
    }
    EXPECT_EQ(outOfOrder, 0) << "of " << kLinks << " links";
}

// A page that ends a talk restarts the heartbeat, whose first tick runs at once, and may then
// close the connection: a tick waiting for the socket's state while the teardown takes the
// link away must find no link and send nothing, not write to the link that is gone.
TEST(ConnectionTest, ClosingAsTheHeartbeatRestartsEndsItCleanly) {
    const test::StoredRecords records(7, 3);
    RecordingPeer peer;
    constexpr int kLinks = 300;
    for (int link = 1; link <= kLinks; ++link) {
        auto socket = std::make_unique<TCPSocket>("127.0.0.1", peer.port(),
                                                  TCPSocketTimings{.pingInterval = 1ms});
        socket->connect(std::make_shared<ConnectionEvents>());
        ASSERT_TRUE(peer.waitUntil(
            [link](const auto& frames) {
                return std::ranges::count(pingsOf(frames), link,
                                          &RecordingPeer::Received::connection) >= 2;
            },
            kWait))
            << "link " << link;
        socket->stopPing();
        socket->startPing();
        socket.reset();
    }
    EXPECT_EQ(peer.connections(), kLinks);
}

// Against the real server: the user is bound on connect, and the server's answers reach the
// delegate as whole frames.
TEST(ConnectionTest, TheServerAnswersTheBindOfEveryConnect) {
    const test::StoredRecords records(1, 1);
    std::string error;
    auto server = test::ServerChild::start(INTERCOM_SERVER_PATH, {}, error);
    ASSERT_TRUE(server) << error;
    auto events = std::make_shared<ConnectionEvents>();
    TCPSocket socket("127.0.0.1", server->signallingPort());
    socket.connect(events);

    ASSERT_TRUE(events->waitUntil(
        [](const auto& all) {
            return std::count_if(all.begin(), all.end(), [](const auto& e) {
                       return e.message == Message::channelPriorityDodge;
                   }) == 1;
        },
        kWait));
    const auto all = events->events();
    ASSERT_GE(all.size(), 3U);
    EXPECT_EQ(all[0].kind, Kind::connected);
    EXPECT_EQ(all[1].message, Message::sceneBind);
    EXPECT_EQ(all[1].payload, bytesFromHex("00 00 00 01"));
    EXPECT_FALSE(events->overlapped());
}

}  // namespace
}  // namespace intercom
