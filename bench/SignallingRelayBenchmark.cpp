// The stand-in server relaying voice on loopback: 50 users talk at once, one 40 ms block each
// (25 frames a second), to 200 listeners. Reported: the server process's CPU share while it
// relays, and the delay from a block's send to its arrival at a listener (median and 99th
// percentile). The argument is the number of listeners in each group, which each talker
// speaks to: with 200 every listener hears every talker (250,000 frames a second out), with
// 4 each talker has a group of 4 listeners.
//
// `--scale=N` multiplies the load: N times the talkers, listeners and groups, each group as
// big as before, so N times the frames in and out. A relay whose cost grows with the load
// costs N times the CPU.
#include <benchmark/benchmark.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "LoopbackSocket.h"
#include "ServerChild.h"
#include "net/signalling/FrameBuilder.h"
#include "net/signalling/FrameReader.h"

namespace {

using namespace intercom;
using Clock = std::chrono::steady_clock;

constexpr int kTalkersAtScale1 = 50;
constexpr int kListenersAtScale1 = 200;
constexpr auto kBlock = std::chrono::milliseconds(40);
constexpr auto kWarmUp = std::chrono::seconds(1);
constexpr auto kMeasured = std::chrono::seconds(5);
constexpr int kReaderThreads = 4;
constexpr std::int64_t kScene = 1;

int scale = 1;

std::filesystem::path writeData(int talkers, int listeners, int groups) {
    nlohmann::json users = nlohmann::json::array();
    for (int id = 1; id <= talkers + listeners; ++id) {
        users.push_back({{"id", id},
                         {"name", "user" + std::to_string(id)},
                         {"code", "x"},
                         {"level", 1},
                         {"sceneId", kScene}});
    }
    nlohmann::json groupList = nlohmann::json::array();
    nlohmann::json groupIds = nlohmann::json::array();
    nlohmann::json permissions = nlohmann::json::array();
    for (int g = 0; g < groups; ++g) {
        groupList.push_back({{"id", 1000 + g}, {"sceneId", kScene}, {"name", "g"}});
        groupIds.push_back(1000 + g);
        // The server relays only where the talker may speak and lets listen only where the
        // listener may listen: everyone may do both everywhere.
        for (int id = 1; id <= talkers + listeners; ++id) {
            permissions.push_back(
                {{"userId", id}, {"groupId", 1000 + g}, {"speak", true}, {"listen", true}});
        }
    }
    const nlohmann::json document = {
        {"scenes", {{{"id", kScene}, {"name", "s"}, {"companyId", "c"}, {"companyName", "c"}}}},
        {"users", users},
        {"groups", groupList},
        {"pages", {{{"id", "p"}, {"sceneId", kScene}, {"name", "p"}, {"groups", groupIds}}}},
        {"permissions", permissions}};
    const auto path = std::filesystem::temp_directory_path() /
                      ("relay-bench-" + std::to_string(::getpid()) + ".json");
    std::ofstream(path) << document.dump();
    return path;
}

void sendAll(int fd, const Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

// Sends the request and reads until its answer (blocking; set-up only).
void request(int fd, FrameReader& reader, Message type, const Bytes& frame) {
    sendAll(fd, frame);
    std::uint8_t chunk[4096];
    while (true) {
        while (auto received = reader.next()) {
            if (received->type == type) {
                return;
            }
        }
        const auto n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return;
        }
        reader.append(std::span(chunk, static_cast<std::size_t>(n)));
    }
}

struct Listener {
    int fd = -1;
    FrameReader reader;
};

void BM_VoiceRelay(benchmark::State& state) {
    const int talkerCount = kTalkersAtScale1 * scale;
    const int listenerCount = kListenersAtScale1 * scale;
    const int groups = listenerCount / static_cast<int>(state.range(0));
    const auto dataFile = writeData(talkerCount, listenerCount, groups);
    std::string error;
    auto server =
        test::ServerChild::start(INTERCOM_SERVER_PATH, {"--data", dataFile.string()}, error);
    if (!server) {
        state.SkipWithError(error.c_str());
        return;
    }

    std::vector<int> talkers;
    std::vector<Listener> listeners(static_cast<std::size_t>(listenerCount));
    for (int i = 0; i < talkerCount; ++i) {
        FrameReader reader;
        const int fd = test::connectLoopback(server->signallingPort());
        request(fd, reader, Message::sceneBind,
                *FrameBuilder(Message::sceneBind).integer(i + 1).integer(kScene).finish());
        talkers.push_back(fd);
    }
    for (int j = 0; j < listenerCount; ++j) {
        auto& listener = listeners[static_cast<std::size_t>(j)];
        const std::int64_t id = talkerCount + j + 1;
        listener.fd = test::connectLoopback(server->signallingPort());
        request(listener.fd, listener.reader, Message::sceneBind,
                *FrameBuilder(Message::sceneBind).integer(id).integer(kScene).finish());
        request(listener.fd, listener.reader, Message::channelListenerTap,
                *FrameBuilder(Message::channelListenerTap)
                     .integer(id)
                     .integer(kScene)
                     .integer(1000 + j % groups)
                     .flag(true)
                     .text("x")
                     .finish());
    }

    std::atomic<bool> running{true};
    bool measuring = false;
    // Blocks sent from here on are measured, wherever they are relayed.
    std::atomic<std::int64_t> windowStart{std::numeric_limits<std::int64_t>::max()};
    std::atomic<std::int64_t> received{0};
    std::mutex delaysMutex;
    std::vector<std::int64_t> delays;

    std::vector<std::thread> readers;
    for (int t = 0; t < kReaderThreads; ++t) {
        readers.emplace_back([&, t] {
            const int poller = ::epoll_create1(EPOLL_CLOEXEC);
            for (int j = t; j < listenerCount; j += kReaderThreads) {
                epoll_event event{};
                event.events = EPOLLIN;
                event.data.ptr = &listeners[static_cast<std::size_t>(j)];
                ::epoll_ctl(poller, EPOLL_CTL_ADD, listeners[static_cast<std::size_t>(j)].fd,
                            &event);
            }
            std::vector<std::int64_t> mine;
            std::int64_t count = 0;
            std::uint8_t chunk[64 * 1024];
            epoll_event events[64];
            while (running) {
                const int ready = ::epoll_wait(poller, events, 64, 100);
                for (int e = 0; e < ready; ++e) {
                    auto& listener = *static_cast<Listener*>(events[e].data.ptr);
                    const auto n = ::recv(listener.fd, chunk, sizeof chunk, MSG_DONTWAIT);
                    if (n <= 0) {
                        continue;
                    }
                    listener.reader.append(std::span(chunk, static_cast<std::size_t>(n)));
                    const auto now = Clock::now().time_since_epoch().count();
                    while (auto frame = listener.reader.next()) {
                        if (frame->type != Message::audioData || frame->payload.size() < 9) {
                            continue;
                        }
                        std::int64_t sentAt = 0;
                        std::memcpy(&sentAt, frame->payload.data() + 1, sizeof sentAt);
                        if (sentAt < windowStart) {
                            continue;
                        }
                        mine.push_back(now - sentAt);
                        ++count;
                    }
                }
            }
            ::close(poller);
            received += count;
            const std::lock_guard lock(delaysMutex);
            delays.insert(delays.end(), mine.begin(), mine.end());
        });
    }

    std::int64_t sent = 0;
    double cpu = 0;
    for (auto _ : state) {
        // Each talker on its own 40 ms beat, the beats spread evenly over the period.
        const auto start = Clock::now();
        const auto measureFrom = start + kWarmUp;
        const auto end = measureFrom + kMeasured;
        const auto step = std::chrono::microseconds(kBlock) / talkerCount;
        double cpuAtStart = 0;
        for (std::int64_t slot = 0;; ++slot) {
            const auto due = start + step * slot;
            if (due >= end) {
                break;
            }
            std::this_thread::sleep_until(due);
            if (!measuring && due >= measureFrom) {
                cpuAtStart = server->cpuSeconds();
                windowStart = Clock::now().time_since_epoch().count();
                measuring = true;
            }
            const int talker = static_cast<int>(slot % talkerCount);
            Bytes block(64, 0);
            block[0] = 0x3C;
            const auto now = Clock::now().time_since_epoch().count();
            std::memcpy(block.data() + 1, &now, sizeof now);
            sendAll(talkers[static_cast<std::size_t>(talker)], *FrameBuilder(Message::audioChannels)
                                                                    .integer(talker + 1)
                                                                    .integer(kScene)
                                                                    .integer(1)
                                                                    .integer(1000 + talker % groups)
                                                                    .bytes(block)
                                                                    .finish());
            sent += measuring ? 1 : 0;
        }
        cpu = server->cpuSeconds() - cpuAtStart;
        // Whatever is still on its way arrives within this.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    running = false;
    for (auto& reader : readers) {
        reader.join();
    }
    for (const int fd : talkers) {
        ::close(fd);
    }
    for (const auto& listener : listeners) {
        ::close(listener.fd);
    }
    server.reset();
    std::filesystem::remove(dataFile);

    std::sort(delays.begin(), delays.end());
    const auto percentile = [&delays](double p) {
        if (delays.empty()) {
            return 0.0;
        }
        const auto index = static_cast<std::size_t>(p * static_cast<double>(delays.size() - 1));
        return static_cast<double>(delays[index]) / 1000.0;
    };
    const double seconds = std::chrono::duration<double>(kMeasured).count();
    const double expected = static_cast<double>(sent) * listenerCount / groups;
    state.counters["server_cpu_%"] = 100.0 * cpu / seconds;
    state.counters["delay_median_us"] = percentile(0.5);
    state.counters["delay_p99_us"] = percentile(0.99);
    state.counters["frames_in/s"] = static_cast<double>(sent) / seconds;
    state.counters["frames_out/s"] = static_cast<double>(received.load()) / seconds;
    state.counters["delivered_%"] =
        expected > 0 ? 100.0 * static_cast<double>(received.load()) / expected : 0.0;
}

BENCHMARK(BM_VoiceRelay)
    ->ArgName("listeners_per_group")
    ->Arg(200)
    ->Arg(4)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument.rfind("--scale=", 0) == 0) {
            scale = std::max(1, std::atoi(argv[i] + 8));
        } else {
            rest.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data())) {
        return 1;
    }
    benchmark::AddCustomContext("scale", std::to_string(scale));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
