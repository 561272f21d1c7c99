#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "RecordingPeer.h"
#include "net/signalling/FrameBuilder.h"
#include "platform/AsyncSocket.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using test::RecordingPeer;

constexpr auto kWait = std::chrono::milliseconds(20s);

// Keeps the order of the socket's reports and notices any that break it: a read or a second
// end outside a connection, or two reports at once.
class SocketReports final : public AsyncSocketDelegate {
  public:
    void socketDidConnect(AsyncSocket& socket) override {
        enter();
        faults_ += connected_ ? 1 : 0;
        connected_ = true;
        socket.readData();
        leave([this] { ++connects_; });
    }
    void socketDidRead(AsyncSocket& socket, const Bytes& /*data*/) override {
        enter();
        faults_ += connected_ ? 0 : 1;
        socket.readData();
        leave([] {});
    }
    void socketDidDisconnect(AsyncSocket& /*socket*/, std::error_code error) override {
        enter();
        const bool timedOut = error == std::errc::timed_out;
        timedOutAfterConnect_ += connected_ && timedOut ? 1 : 0;
        connected_ = false;
        leave([this, timedOut] {
            ++ends_;
            timeOuts_ += timedOut ? 1 : 0;
        });
    }

    bool waitFor(int connects, int ends) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kWait,
                                 [&] { return connects_ >= connects && ends_ >= ends; });
    }
    // Until the attempt has connected or has ended, whichever comes first.
    bool waitForOutcome(int connects, int ends) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kWait,
                                 [&] { return connects_ >= connects || ends_ >= ends; });
    }
    int connects() const {
        std::lock_guard lock(mutex_);
        return connects_;
    }
    int ends() const {
        std::lock_guard lock(mutex_);
        return ends_;
    }
    int timeOuts() const {
        std::lock_guard lock(mutex_);
        return timeOuts_;
    }
    int faults() const { return faults_; }
    int timedOutAfterConnect() const { return timedOutAfterConnect_; }

  private:
    void enter() { faults_ += inside_.exchange(true) ? 1 : 0; }
    void leave(const std::function<void()>& count) {
        inside_ = false;
        std::lock_guard lock(mutex_);
        count();
        changed_.notify_all();
    }

    std::atomic<bool> inside_{false};
    std::atomic<int> faults_{0};
    std::atomic<int> timedOutAfterConnect_{0};
    bool connected_ = false;  // only inside the reports
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int connects_ = 0;
    int ends_ = 0;
    int timeOuts_ = 0;
};

Bytes numbered(std::int64_t writer, std::int64_t number) {
    return *FrameBuilder(Message::ping).integer(writer).integer(number).finish();
}

// Writes from several threads go out whole and in each writer's order; a write while idle is
// dropped, one made while connecting is held until the link is up.
TEST(AsyncSocketTest, WritesFromManyThreadsArriveWholeAndInOrder) {
    RecordingPeer peer;
    auto reports = std::make_shared<SocketReports>();
    auto socket = AsyncSocket::create(reports);
    socket->writeData(numbered(9, 9));
    std::error_code error;
    ASSERT_TRUE(socket->connectToHost("127.0.0.1", peer.port(), error));
    EXPECT_FALSE(socket->connectToHost("127.0.0.1", peer.port(), error)) << "not idle";
    EXPECT_FALSE(socket->isDisconnected());
    socket->writeData(numbered(0, 0));

    constexpr int kWriters = 4;
    constexpr int kFrames = 500;
    std::vector<std::thread> writers;
    for (int writer = 1; writer <= kWriters; ++writer) {
        writers.emplace_back([&, writer] {
            for (int number = 0; number < kFrames; ++number) {
                socket->writeData(numbered(writer, number));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    ASSERT_TRUE(peer.waitUntil(
        [](const auto& frames) { return frames.size() == kWriters * kFrames + 1; }, kWait));
    const auto frames = peer.frames();
    EXPECT_EQ(frames.front().frame.payload, Bytes({0, 0, 0, 0, 0, 0, 0, 0}));
    std::map<int, int> next;
    for (const auto& received : frames) {
        ASSERT_EQ(received.frame.payload.size(), 8U);
        const int writer = received.frame.payload[3];
        const int number = received.frame.payload[6] << 8 | received.frame.payload[7];
        EXPECT_NE(writer, 9) << "a write while idle went out";
        EXPECT_EQ(number, next[writer]++) << "writer " << writer;
    }
    EXPECT_TRUE(socket->isConnected());
    socket->disconnect();
    ASSERT_TRUE(reports->waitFor(1, 1));
    EXPECT_TRUE(socket->isDisconnected());
    EXPECT_EQ(reports->faults(), 0);
}

// The peer keeps sending while another thread disconnects at random moments and connects
// again: every connection ends exactly once and nothing is reported outside one.
TEST(AsyncSocketTest, DisconnectRacingReadsEndsEachConnectionOnce) {
    RecordingPeer peer;
    auto reports = std::make_shared<SocketReports>();
    auto socket = AsyncSocket::create(reports);
    std::atomic<bool> running{true};
    std::thread sender([&] {
        const Bytes chunk(512, 0x33);
        while (running) {
            peer.send(chunk);
            std::this_thread::sleep_for(100us);
        }
    });
    std::mt19937 random(5);
    constexpr int kRounds = 100;
    for (int round = 1; round <= kRounds; ++round) {
        std::error_code error;
        const int connects = reports->connects();
        ASSERT_TRUE(socket->connectToHost("127.0.0.1", peer.port(), error)) << error.message();
        // Every fourth round disconnects while the attempt may still be under way.
        if (round % 4 != 0) {
            ASSERT_TRUE(reports->waitFor(connects + 1, round - 1));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        std::thread racer([&] { socket->disconnect(); });
        socket->disconnect();
        racer.join();
        ASSERT_TRUE(reports->waitFor(0, round)) << "round " << round;
    }
    running = false;
    sender.join();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(reports->ends(), kRounds);
    EXPECT_LE(reports->connects(), kRounds);
    EXPECT_EQ(reports->faults(), 0);
}

// Time limits about as long as a loopback connect, so that the limit often passes while the
// connect's own handler is already on its way: an attempt either connects and stays up until
// it is closed, or times out without having connected.
TEST(AsyncSocketTest, ALimitPassingAsTheConnectSucceedsLeavesTheLinkUp) {
    RecordingPeer peer;
    auto reports = std::make_shared<SocketReports>();
    auto socket = AsyncSocket::create(reports);
    constexpr int kAttempts = 500;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const int connects = reports->connects();
        std::error_code error;
        const auto limit = std::chrono::microseconds(1 + attempt % 100 * 2);
        ASSERT_TRUE(socket->connectToHost("127.0.0.1", peer.port(), error, limit))
            << error.message();
        ASSERT_TRUE(reports->waitForOutcome(connects + 1, attempt));
        socket->disconnect();
        ASSERT_TRUE(reports->waitFor(0, attempt)) << "attempt " << attempt;
    }
    EXPECT_EQ(reports->timedOutAfterConnect(), 0);
    EXPECT_GT(reports->connects(), 0);
    EXPECT_GT(reports->timeOuts(), 0);
    EXPECT_EQ(reports->ends(), kAttempts);
    EXPECT_EQ(reports->faults(), 0);
}

}  // namespace
}  // namespace intercom
