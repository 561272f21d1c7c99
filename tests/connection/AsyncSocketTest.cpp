#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/post.hpp>
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
// end outside a connection, or two reports at once. When given a greeting, it writes it as
// soon as it is connected.
class SocketReports final : public AsyncSocketDelegate {
  public:
    SocketReports() = default;
    explicit SocketReports(Bytes greeting) : greeting_(std::move(greeting)) {}

    void socketDidConnect(AsyncSocket& socket) override {
        enter();
        faults_ += connected_ ? 1 : 0;
        connected_ = true;
        socket.readData();
        if (!greeting_.empty()) {
            socket.writeData(greeting_);
        }
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

  private:
    void enter() { faults_ += inside_.exchange(true) ? 1 : 0; }
    void leave(const std::function<void()>& count) {
        inside_ = false;
        std::lock_guard lock(mutex_);
        count();
        changed_.notify_all();
    }

    const Bytes greeting_;
    std::atomic<bool> inside_{false};
    std::atomic<int> faults_{0};
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

// A loopback listener that holds a connect attempt: one connection already fills its accept
// queue, so the kernel drops the client's SYN and completes the handshake only when the SYN
// is sent again, a second later, after `makeRoom` has taken that connection out.
class FullListener {
  public:
    FullListener() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 0) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
            ::connect(filler_, reinterpret_cast<sockaddr*>(&address), size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
    }
    ~FullListener() {
        for (const int fd : {listener_, filler_, accepted_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;

    std::uint16_t port() const { return port_; }
    bool makeRoom() {
        const int taken = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (taken < 0) {
            return false;
        }
        ::close(taken);
        return true;
    }
    // Waits for the client's connection to be complete, as the kernel sees it, and takes it.
    bool accept() {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(kWait.count())) != 1) {
            return false;
        }
        accepted_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        return accepted_ >= 0;
    }
    // The first bytes the client sends on the accepted connection; empty when it closes it
    // having sent nothing.
    Bytes firstBytes() {
        Bytes bytes(64);
        pollfd entry{accepted_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(kWait.count())) != 1) {
            return {};
        }
        const auto size = ::recv(accepted_, bytes.data(), bytes.size(), 0);
        bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        return bytes;
    }

  private:
    int listener_ = -1;
    int filler_ = -1;
    int accepted_ = -1;
    std::uint16_t port_ = 0;
};

// Holds work back until opened.
class Gate {
  public:
    void pass() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    bool waitForWaiting(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kWait, [&] { return waiting_ >= count; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    bool open_ = false;
};

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

// Connects held at their limit: each attempt's strand is kept busy from just after its start
// until the limit has passed and, later, the kernel has completed the handshake, so that the
// limit's handler and the connect's are both ready when the strand is let go, the limit's
// first. A connection the kernel has made is up whichever handler runs first: the client
// reports it once and its first write reaches the peer; it is never closed unused.
TEST(AsyncSocketTest, AConnectMadeAsItsLimitPassesIsUpWhicheverHandlerRunsFirst) {
    constexpr int kAttempts = 50;
    constexpr auto kLimit = 100ms;
    const Bytes greeting = numbered(1, 2);
    Gate gate;
    // A queue of the test's own, big enough that every attempt's strand can be held by one of
    // its threads while the others serve the timers and the sockets.
    asio::thread_pool pool(kAttempts + 4);
    struct Attempt {
        FullListener listener;
        std::shared_ptr<SocketReports> reports;
        std::shared_ptr<AsyncSocket> socket;
    };
    std::vector<std::unique_ptr<Attempt>> attempts;
    for (int i = 0; i < kAttempts; ++i) {
        auto attempt = std::make_unique<Attempt>();
        ASSERT_NE(attempt->listener.port(), 0);
        attempt->reports = std::make_shared<SocketReports>(greeting);
        auto strand = asio::make_strand(pool.get_executor());
        attempt->socket = AsyncSocket::create(attempt->reports, strand);
        std::error_code error;
        ASSERT_TRUE(
            attempt->socket->connectToHost("127.0.0.1", attempt->listener.port(), error, kLimit))
            << error.message();
        // Queued behind the attempt's start, which arms the limit and sends the first SYN.
        asio::post(strand, [&gate] { gate.pass(); });
        attempts.push_back(std::move(attempt));
    }
    ASSERT_TRUE(gate.waitForWaiting(kAttempts));
    // The SYNs sent again a second after the first ones, long after the limits, complete the
    // handshakes.
    for (auto& attempt : attempts) {
        ASSERT_TRUE(attempt->listener.makeRoom());
    }
    for (auto& attempt : attempts) {
        ASSERT_TRUE(attempt->listener.accept());
    }
    gate.open();

    int closedUnused = 0;
    for (int i = 0; i < kAttempts; ++i) {
        auto& attempt = *attempts[static_cast<std::size_t>(i)];
        const Bytes first = attempt.listener.firstBytes();
        closedUnused += first.empty() ? 1 : 0;
        EXPECT_EQ(first, greeting) << "attempt " << i;
        EXPECT_TRUE(attempt.reports->waitForOutcome(1, 1));
        EXPECT_EQ(attempt.reports->connects(), 1) << "attempt " << i;
        EXPECT_EQ(attempt.reports->timeOuts(), 0) << "attempt " << i;
        EXPECT_EQ(attempt.reports->faults(), 0) << "attempt " << i;
    }
    EXPECT_EQ(closedUnused, 0) << "of " << kAttempts << " connections made at the limit";
    for (auto& attempt : attempts) {
        attempt->socket->disconnect();
        EXPECT_TRUE(attempt->reports->waitFor(0, 1));
    }
}

}  // namespace
}  // namespace intercom
