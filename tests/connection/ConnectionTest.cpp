#include <gtest/gtest.h>

#include <memory>
#include <string>

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

double secondsBetween(RecordingPeer::Clock::time_point from, RecordingPeer::Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The user goes to the server first, then the dodge value, then a ping at once; pings then
// keep the real 8 s beat, and a second start does not add a second beat.
TEST(ConnectionTest, BindsTheUserThenPingsEveryEightSeconds) {
    Setting setting;
    setting.channelDodge = -5;
    const test::StoredRecords records(7, 3, setting);
    RecordingPeer peer;
    auto events = std::make_shared<ConnectionEvents>();
    TCPSocket socket("127.0.0.1", peer.port());
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
    ASSERT_TRUE(peer.waitUntil(pingCountAtLeast(3), kWait));
    const auto pings = pingsOf(peer.frames());
    EXPECT_NEAR(secondsBetween(pings[0].at, pings[1].at), 8.0, 0.5);
    EXPECT_NEAR(secondsBetween(pings[1].at, pings[2].at), 8.0, 0.5);
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_EQ(events->count(Kind::disconnected), 0);
}

// The home page pauses the heartbeat while the user talks: nothing goes out then, and a ping
// goes out at once when talking stops. "At once" is seen without a clock: with a beat of an
// hour, the only ping that can follow the restart is the one that goes out at once.
TEST(ConnectionTest, PausedHeartbeatSendsNothingAndPingsAtOnceWhenStarted) {
    const test::StoredRecords records(7, 3);
    RecordingPeer peer;
    TCPSocket socket("127.0.0.1", peer.port(), {.pingInterval = 100ms});
    socket.connect(std::make_shared<ConnectionEvents>());
    ASSERT_TRUE(peer.waitUntil(pingCountAtLeast(3), kWait));

    socket.stopPing();
    const auto paused = pingsOf(peer.frames()).size();
    std::this_thread::sleep_for(600ms);
    // A tick already under way when the pause came may still have gone out.
    EXPECT_LE(pingsOf(peer.frames()).size(), paused + 1);
    const auto beforeRestart = pingsOf(peer.frames()).size();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(pingsOf(peer.frames()).size(), beforeRestart);

    RecordingPeer hourly;
    TCPSocket slow("127.0.0.1", hourly.port(), {.pingInterval = 1h});
    slow.connect(std::make_shared<ConnectionEvents>());
    ASSERT_TRUE(hourly.waitUntil(pingCountAtLeast(1), kWait)) << "the ping on connect";
    slow.stopPing();
    slow.startPing();
    EXPECT_TRUE(hourly.waitUntil(pingCountAtLeast(2), kWait)) << "no ping when started again";
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
