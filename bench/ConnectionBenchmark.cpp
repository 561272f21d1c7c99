// The signalling connection's recovery and idle cost, against the real stand-in server and a
// recording peer on loopback:
// - Reconnect: from the moment the server accepts again (restarted on the same port) to the
//   delegate's tcpSocketDidConnect, at the application's real intervals, so the figure
//   includes the wait for the next reconnect tick (at most 3 s).
// - LossToAlert: from the peer closing the connection to the outage announcement running on
//   the main queue, which is where the interface puts the alert up.
// - IdleHeartbeat: the process's CPU time per second of one connected, idle connection
//   whose heartbeat runs (real 8 s interval).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "ConnectionEvents.h"
#include "RecordingPeer.h"
#include "ServerChild.h"
#include "model/UserInfo.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"

namespace {

using namespace intercom;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Kind = test::ConnectionEvents::Kind;

constexpr auto kWait = std::chrono::milliseconds(30s);

std::unique_ptr<test::ServerChild> startServer(std::uint16_t port) {
    std::string error;
    return test::ServerChild::start(INTERCOM_SERVER_PATH,
                                    {"--signalling-port", std::to_string(port)}, error);
}

void Reconnect(benchmark::State& state) {
    auto server = startServer(0);
    if (!server) {
        state.SkipWithError("the server did not start");
        return;
    }
    const auto port = server->signallingPort();
    auto events = std::make_shared<test::ConnectionEvents>();
    TCPSocket socket("127.0.0.1", port);
    socket.connect(events);
    int connects = 1;
    events->waitForCount(Kind::connected, connects, kWait);
    for (auto _ : state) {
        server.reset();
        events->waitForCount(Kind::disconnected, connects, kWait);
        // A random phase against the reconnect ticks, as a real outage has.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 3000));
        server = startServer(port);
        const auto accepting = Clock::now();
        ++connects;
        if (!server || !events->waitForCount(Kind::connected, connects, kWait)) {
            state.SkipWithError("no reconnect");
            return;
        }
        const auto connected = events->events();
        Clock::time_point at{};
        for (const auto& event : connected) {
            if (event.kind == Kind::connected) {
                at = event.at;
            }
        }
        state.SetIterationTime(std::chrono::duration<double>(at - accepting).count());
    }
}
BENCHMARK(Reconnect)->UseManualTime()->Iterations(4)->Unit(benchmark::kMillisecond);

void LossToAlert(benchmark::State& state) {
    test::RecordingPeer peer;
    auto events = std::make_shared<test::ConnectionEvents>();
    TCPSocket socket("127.0.0.1", peer.port(),
                     {.firstReconnectDelay = 20ms, .reconnectInterval = 20ms});
    std::atomic<int> shown{0};
    Clock::time_point shownAt{};
    socket.setOutageHandler([&](bool outage) {
        if (outage) {
            shownAt = Clock::now();
            ++shown;
        }
    });
    socket.connect(events);
    int connects = 1;
    events->waitForCount(Kind::connected, connects, kWait);
    for (auto _ : state) {
        peer.waitUntil(
            [&](const auto& frames) {
                return !frames.empty() && frames.back().connection == connects;
            },
            kWait);
        const int before = shown;
        const auto lost = Clock::now();
        peer.drop();
        dispatch::mainRunLoop().runUntil([&] { return shown > before; }, kWait);
        state.SetIterationTime(std::chrono::duration<double>(shownAt - lost).count());
        ++connects;
        events->waitForCount(Kind::connected, connects, kWait);
        dispatch::mainRunLoop().runFor(50ms);
    }
    socket.setOutageHandler(nullptr);
}
BENCHMARK(LossToAlert)->UseManualTime()->Iterations(50)->Unit(benchmark::kMicrosecond);

double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void IdleHeartbeat(benchmark::State& state) {
    test::RecordingPeer peer;
    auto events = std::make_shared<test::ConnectionEvents>();
    TCPSocket socket("127.0.0.1", peer.port());
    socket.connect(events);
    events->waitForCount(Kind::connected, 1, kWait);
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const double startCpu = processCpuSeconds();
        std::this_thread::sleep_for(16s);
        cpu += processCpuSeconds() - startCpu;
        wall += std::chrono::duration<double>(Clock::now() - start).count();
    }
    // The peer's own thread counts too; it wakes only for the pings.
    state.counters["cpu_us_per_s"] = cpu / wall * 1e6;
}
BENCHMARK(IdleHeartbeat)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // Keep the benchmark's records out of the user's own store.
    const auto folder = std::filesystem::temp_directory_path() / "intercom-connection-bench";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    intercom::UserInfo user;
    user.id = 1;
    user.sceneId = 1;
    user.save();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
