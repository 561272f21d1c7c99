#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "ConnectionEvents.h"
#include "RecordingPeer.h"
#include "ServerChild.h"
#include "StoredRecords.h"
#include "TimerCount.h"
#include "audio/Beep.h"
#include "audio/ReconnectTone.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"
#include "support/Hex.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using test::bytesFromHex;
using test::ConnectionEvents;
using test::RecordingPeer;
using Clock = std::chrono::steady_clock;
using Kind = ConnectionEvents::Kind;

constexpr auto kWait = std::chrono::milliseconds(30s);

std::vector<Clock::time_point> timesOf(const std::vector<ConnectionEvents::Event>& events,
                                       Kind kind) {
    std::vector<Clock::time_point> times;
    for (const auto& event : events) {
        if (event.kind == kind) {
            times.push_back(event.at);
        }
    }
    return times;
}

// Each disconnect after the loss (the first) ends an attempt that its tick started, 2 s after
// the loss and then every 3 s: never sooner.
void expectAttemptsAtTheirTicks(const std::vector<ConnectionEvents::Event>& events) {
    const auto lost = timesOf(events, Kind::disconnected);
    for (std::size_t attempt = 1; attempt < lost.size(); ++attempt) {
        EXPECT_GE(lost[attempt] - lost[0], 2s + 3s * static_cast<int>(attempt - 1))
            << "attempt " << attempt;
    }
}

int answersTo(const std::vector<ConnectionEvents::Event>& events, Message type) {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [type](const auto& e) {
        return e.kind == Kind::received && e.message == type;
    }));
}

bool tonePlayed() {
    const auto player = Beep::shared().player();
    return player && player->path().ends_with("reconnect_bee.wav");
}

// The announcements of the reconnect sequence, as the interface would see them on the main
// queue; the test thread runs that queue. Each start also notes whether the tone was already
// sounding when the alert came up.
class OutageLog {
  public:
    explicit OutageLog(TCPSocket& socket) {
        socket.setOutageHandler([this](bool outage) {
            entries_.push_back({outage, Clock::now()});
            if (outage) {
                toneBeforeAlert_.push_back(tonePlayed());
            }
        });
    }
    bool runUntilShowing(bool outage, std::chrono::milliseconds limit) {
        return dispatch::mainRunLoop().runUntil(
            [&] { return !entries_.empty() && entries_.back().first == outage; }, limit);
    }
    // Each outage shown (true) or ended (false), and when.
    const std::vector<std::pair<bool, Clock::time_point>>& entries() const { return entries_; }
    // For each outage shown, whether the reconnect tone had played by then.
    const std::vector<bool>& toneBeforeAlert() const { return toneBeforeAlert_; }

  private:
    std::vector<std::pair<bool, Clock::time_point>> entries_;
    std::vector<bool> toneBeforeAlert_;
};

std::unique_ptr<test::ServerChild> startServer(std::uint16_t signallingPort = 0) {
    std::string error;
    auto server = test::ServerChild::start(
        INTERCOM_SERVER_PATH, {"--signalling-port", std::to_string(signallingPort)}, error);
    EXPECT_TRUE(server) << error;
    return server;
}

// The server goes away and comes back on the same port, at the real intervals: one
// disconnect per loss and per failed attempt, the first retry 2 s after the loss and then
// every 3 s, one tone and then one alert for the whole outage, and a fresh bind once it is
// over. The sequence is timed from the loss, which the delegate hears before the sequence
// starts; a timer never fires before its time and a busy machine only makes it later, so the
// retries show as each attempt ending no sooner than its tick: the k-th 2 + 3(k-1) s after
// the loss. An attempt told twice, or ticks 3 s and then 2 s apart, would end one sooner.
TEST(ReconnectTest, ServerRestartIsRetriedAtTheRealIntervalsAndBoundAgain) {
    Setting setting;
    setting.isReconnectBeep = true;
    const test::StoredRecords records(1, 1, setting);
    Beep::shared().dropPlayer();
    auto server = startServer();
    ASSERT_TRUE(server);
    const auto port = server->signallingPort();
    auto events = std::make_shared<ConnectionEvents>();
    {
        TCPSocket socket("127.0.0.1", port);
        installReconnectTone(socket);
        OutageLog outages(socket);
        socket.connect(events);
        ASSERT_TRUE(events->waitUntil(
            [](const auto& all) { return answersTo(all, Message::channelPriorityDodge) == 1; },
            kWait));

        server.reset();
        ASSERT_TRUE(events->waitForCount(Kind::disconnected, 1, kWait));
        ASSERT_TRUE(outages.runUntilShowing(true, kWait));
        EXPECT_EQ(outages.toneBeforeAlert(), std::vector<bool>{true});
        Beep::shared().dropPlayer();
        // The loss, then the failed attempts at 2 s, 5 s and 8 s.
        ASSERT_TRUE(events->waitForCount(Kind::disconnected, 4, 8s + kWait));
        expectAttemptsAtTheirTicks(events->events());
        EXPECT_FALSE(tonePlayed()) << "one tone per outage, not one per attempt";

        server = startServer(port);
        ASSERT_TRUE(server);
        ASSERT_TRUE(events->waitForCount(Kind::connected, 2, kWait));
        ASSERT_TRUE(outages.runUntilShowing(false, kWait));
        EXPECT_EQ(std::count_if(outages.entries().begin(), outages.entries().end(),
                                [](const auto& entry) { return entry.first; }),
                  1);
        ASSERT_TRUE(events->waitUntil(
            [](const auto& all) { return answersTo(all, Message::channelPriorityDodge) == 2; },
            kWait));
        const auto all = events->events();
        EXPECT_EQ(answersTo(all, Message::sceneBind), 2);
        // Every attempt before the server came back failed and was told once.
        expectAttemptsAtTheirTicks(all);
        EXPECT_FALSE(events->overlapped());
        EXPECT_TRUE(test::runningTimersSettleAt(socket, 1)) << "the heartbeat alone";
    }
    Beep::shared().dropPlayer();
}

// A loopback listener whose backlog is full and that never accepts: a connect attempt to it
// hangs. Each attempt ends at the 5 s limit, never sooner, the alert stays up throughout, and
// once a real server has the port the link comes up and the alert goes. The reconnect tone's
// setting is off: the alert comes without it.
TEST(ReconnectTest, HangingAttemptsEndAtTheirLimitAndKeepTheAlertUp) {
    const test::StoredRecords records(1, 1);
    Beep::shared().dropPlayer();
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::uint16_t port = ntohs(address.sin_port);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), size);
        fillers.push_back(filler);
    }

    auto events = std::make_shared<ConnectionEvents>();
    TCPSocket socket("127.0.0.1", port);
    installReconnectTone(socket);
    OutageLog outages(socket);
    const auto started = Clock::now();
    socket.connect(events);
    ASSERT_TRUE(events->waitForCount(Kind::disconnected, 1, 5s + kWait));
    EXPECT_GE(timesOf(events->events(), Kind::disconnected)[0] - started, 5s);
    ASSERT_TRUE(outages.runUntilShowing(true, kWait));
    EXPECT_EQ(outages.toneBeforeAlert(), std::vector<bool>{false});
    // The tick at 2 s starts the next attempt, which again ends at its limit; the tick in
    // between finds it under way and leaves the alert up.
    ASSERT_TRUE(events->waitForCount(Kind::disconnected, 2, 7s + kWait));
    const auto lost = timesOf(events->events(), Kind::disconnected);
    EXPECT_GE(lost[1] - lost[0], 7s);
    dispatch::mainRunLoop().runFor(100ms);
    EXPECT_EQ(outages.entries().size(), 1U) << "no end of the outage while nothing is connected";
    EXPECT_EQ(events->count(Kind::connected), 0);

    for (const int fd : fillers) {
        ::close(fd);
    }
    ::close(listener);
    auto server = startServer(port);
    ASSERT_TRUE(server);
    ASSERT_TRUE(events->waitForCount(Kind::connected, 1, kWait));
    ASSERT_TRUE(outages.runUntilShowing(false, kWait));
    EXPECT_EQ(outages.entries().size(), 2U);
}

// Frames that TCP splits or joins reach the delegate once and whole, in order; a broken
// length closes the link, and the client binds again on a new one; bytes of any kind at any
// pace leave it connected or reconnecting.
TEST(ReconnectTest, FramesArriveWholeWhateverTheSegmentsAndBrokenStreamsReconnect) {
    const test::StoredRecords records(7, 3);
    RecordingPeer peer;
    auto events = std::make_shared<ConnectionEvents>();
    TCPSocket socket("127.0.0.1", peer.port(),
                     {.firstReconnectDelay = 50ms, .reconnectInterval = 100ms});
    socket.connect(events);
    ASSERT_TRUE(events->waitForCount(Kind::connected, 1, kWait));
    ASSERT_TRUE(peer.waitUntil([](const auto& frames) { return !frames.empty(); }, kWait));

    Bytes voice(64);
    for (std::size_t i = 0; i < voice.size(); ++i) {
        voice[i] = static_cast<std::uint8_t>(i * 7);
    }
    Bytes joined = bytesFromHex("00 00 00 08 00 00 00 50 00 00 00 01");  // tally red
    joined.insert(joined.end(), {0, 0, 0, 68, 0, 0, 0, 2});
    joined.insert(joined.end(), voice.begin(), voice.end());
    const Bytes unknownType = bytesFromHex("00 00 00 06 00 00 00 19 AB CD");
    joined.insert(joined.end(), unknownType.begin(), unknownType.end());
    peer.send(joined);
    peer.send(bytesFromHex("00 00 00 08 00 00 00 00 00 00 00 01"), true);
    ASSERT_TRUE(events->waitForCount(Kind::received, 4, kWait));
    const auto all = events->events();
    ASSERT_EQ(all.size(), 5U);
    EXPECT_EQ(all[1].message, Message::tally);
    EXPECT_EQ(all[1].payload, bytesFromHex("00 00 00 01"));
    EXPECT_EQ(all[2].message, Message::audioData);
    EXPECT_EQ(all[2].payload, voice);
    EXPECT_EQ(all[3].message, Message::unknown);
    EXPECT_EQ(all[3].payload, bytesFromHex("AB CD"));
    EXPECT_EQ(all[4].message, Message::sceneBind);
    EXPECT_EQ(all[4].payload, bytesFromHex("00 00 00 01"));

    peer.send(bytesFromHex("00 00 00 02 00 00 00 01 00 00 00 08 00 00 00 50 00 00 00 01"));
    ASSERT_TRUE(events->waitForCount(Kind::connected, 2, kWait));
    EXPECT_EQ(events->count(Kind::disconnected), 1);
    EXPECT_EQ(events->count(Kind::received), 4) << "nothing after the broken length";
    ASSERT_TRUE(peer.waitUntil(
        [](const auto& frames) { return frames.size() >= 2 && frames.back().connection == 2; },
        kWait));
    const Bytes second = peer.raw(2);
    ASSERT_GE(second.size(), 16U);
    EXPECT_EQ(Bytes(second.begin(), second.begin() + 16),
              bytesFromHex("00 00 00 0C 00 00 00 00 00 00 00 07 00 00 00 03"));

    std::mt19937 random(9);
    for (int burst = 0; burst < 40; ++burst) {
        Bytes noise(random() % 300);
        std::generate(noise.begin(), noise.end(), [&] { return random() % 256; });
        peer.send(noise, burst % 5 == 0);
        if (burst % 10 == 9) {
            peer.drop();
        }
    }
    // Whatever the noise broke has been reconnected once the peer's newest connection is the
    // client's newest and has been bound; a last drop then shows that the client still
    // recovers.
    const auto settled = [&] {
        const auto deadline = Clock::now() + kWait;
        while (Clock::now() < deadline) {
            const auto frames = peer.frames();
            const int connects = events->count(Kind::connected);
            if (socket.isConnected() && peer.connections() == connects && !frames.empty() &&
                frames.back().connection == connects) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    };
    ASSERT_TRUE(settled());
    const int connects = events->count(Kind::connected);
    peer.drop();
    ASSERT_TRUE(events->waitForCount(Kind::connected, connects + 1, kWait));
    ASSERT_TRUE(settled());
    EXPECT_EQ(events->count(Kind::connected), events->count(Kind::disconnected) + 1);
    EXPECT_FALSE(events->overlapped());
}

}  // namespace
}  // namespace intercom
