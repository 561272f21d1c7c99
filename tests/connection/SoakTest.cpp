#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "ConnectionEvents.h"
#include "RecordingPeer.h"
#include "ServerChild.h"
#include "StoredRecords.h"
#include "TimerCount.h"
#include "net/signalling/TCPSocket.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using test::ConnectionEvents;
using Kind = ConnectionEvents::Kind;

constexpr auto kWait = std::chrono::milliseconds(60s);
constexpr int kRestarts = 50;

int openDescriptors() {
    int count = 0;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        while (::readdir(folder) != nullptr) {
            ++count;
        }
        ::closedir(folder);
    }
    return count;
}

bool descriptorsBackTo(int wanted) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (openDescriptors() != wanted) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

int answersTo(const std::vector<ConnectionEvents::Event>& events, Message type) {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [type](const auto& e) {
        return e.kind == Kind::received && e.message == type;
    }));
}

std::unique_ptr<test::ServerChild> startServer(std::uint16_t signallingPort) {
    std::string error;
    auto server = test::ServerChild::start(
        INTERCOM_SERVER_PATH, {"--signalling-port", std::to_string(signallingPort)}, error);
    EXPECT_TRUE(server) << error;
    return server;
}

// The socket layer opens what it keeps for the whole process on its first use; only what
// comes after that is counted.
int descriptorsAfterWarmUp() {
    {
        test::RecordingPeer peer;
        auto events = std::make_shared<ConnectionEvents>();
        TCPSocket socket("127.0.0.1", peer.port());
        socket.connect(events);
        EXPECT_TRUE(events->waitForCount(Kind::connected, 1, kWait));
    }
    std::this_thread::sleep_for(200ms);
    return openDescriptors();
}

// The server stops at random moments while voice streams to it, also in the middle of a
// frame, and comes back on the same port, fifty times: every time the client reconnects and
// binds once, and in the end no socket, descriptor or timer is left over.
TEST(ConnectionSoakTest, FiftyServerRestartsEachEndInOneReconnectAndOneBind) {
    const test::StoredRecords records(1, 1);
    const int before = descriptorsAfterWarmUp();
    {
        auto server = startServer(0);
        ASSERT_TRUE(server);
        const auto port = server->signallingPort();
        auto events = std::make_shared<ConnectionEvents>();
        TCPSocket socket("127.0.0.1", port,
                         {.pingInterval = 50ms,
                          .firstReconnectDelay = 20ms,
                          .reconnectInterval = 50ms,
                          .connectTimeout = 2s});
        socket.connect(events);

        std::atomic<bool> talking{true};
        std::thread talker([&] {
            const Bytes voice(64, 0x5A);
            while (talking) {
                socket.sendAudio(Message::audioBigBroadcast, 1, {}, voice);
                std::this_thread::sleep_for(1ms);
            }
        });
        std::mt19937 random(2024);
        for (int restart = 1; restart <= kRestarts; ++restart) {
            ASSERT_TRUE(events->waitUntil(
                [restart](const auto& all) {
                    return answersTo(all, Message::channelPriorityDodge) == restart;
                },
                kWait))
                << "restart " << restart;
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
            server.reset();
            server = startServer(port);
            ASSERT_TRUE(server);
        }
        ASSERT_TRUE(events->waitUntil(
            [](const auto& all) {
                return answersTo(all, Message::channelPriorityDodge) == kRestarts + 1;
            },
            kWait));
        talking = false;
        talker.join();
        std::this_thread::sleep_for(200ms);

        const auto all = events->events();
        EXPECT_EQ(events->count(Kind::connected), kRestarts + 1);
        EXPECT_EQ(answersTo(all, Message::sceneBind), kRestarts + 1) << "one bind per connect";
        EXPECT_GE(events->count(Kind::disconnected), kRestarts);
        EXPECT_FALSE(events->overlapped());
        EXPECT_TRUE(socket.isConnected());
        EXPECT_TRUE(test::runningTimersSettleAt(socket, 1)) << "the heartbeat alone";
    }
    EXPECT_TRUE(descriptorsBackTo(before)) << openDescriptors() << " open, " << before << " before";
}

}  // namespace
}  // namespace intercom
