// What HTTP requests that hang cost the rest of the client: 16 requests to a server that takes
// them and never answers, at the application's own time limits (5 s to connect, 15 s to read),
// then a 40 ms timer on the global queue, the kind that drives the recorder's drain, the
// heartbeat and the reconnect. The figure is how late that timer fires. Each iteration starts a
// fresh silent server and lets it go once the timer has fired, which ends its requests.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "LoopbackServer.h"
#include "net/api/PostForm.h"
#include "platform/audio/VoiceFormat.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"

namespace {

using namespace intercom;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRequests = 16;
// The recorder's drain timer, one tick per voice block.
constexpr auto kTimer = VoiceFormat::kBlockDuration;

void TimerLatenessWithHangingRequests(benchmark::State& state) {
    double latest = 0;
    for (auto _ : state) {
        auto server = std::make_unique<test::LoopbackServer>(std::nullopt);
        int completed = 0;
        for (int request = 0; request < kRequests; ++request) {
            api::postForm(server->baseURL() + "/api/groupList",
                          {{"uid", std::int64_t{1}}, {"pageNum", std::int64_t{1}}},
                          [&completed](auto) { ++completed; });
        }
        const auto deadline = Clock::now() + 10s;
        while (server->requests().empty() && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }

        std::mutex mutex;
        std::condition_variable fired;
        std::optional<Clock::time_point> firedAt;
        const auto due = Clock::now() + kTimer;
        dispatch::globalQueue().after(kTimer, [&] {
            std::lock_guard lock(mutex);
            firedAt = Clock::now();
            fired.notify_all();
        });
        {
            std::unique_lock lock(mutex);
            fired.wait(lock, [&] { return firedAt.has_value(); });
        }
        const double late = std::chrono::duration<double>(*firedAt - due).count();
        state.SetIterationTime(late);
        latest = std::max(latest, late);

        server.reset();
        dispatch::mainRunLoop().runUntil([&] { return completed == kRequests; }, 60s);
    }
    state.counters["late_max_ms"] = latest * 1e3;
}
BENCHMARK(TimerLatenessWithHangingRequests)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
