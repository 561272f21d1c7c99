// Voice delay on SDL's disk driver, which reads the microphone from a file and writes the
// speaker to one, 40 ms at a time in real time.
//
// Microphone to send: clicks (one loud sample after silence) in the microphone file. The real
// recorder captures and drains them; its input queue is swapped for one whose callback notes
// when SDL handed each 40 ms buffer over (the disk driver reads it just before) and then runs
// the recorder's own input callback. A click's delay is the time from its sample's arrival
// (the buffer's hand-over less the samples after it, at 8000 Hz) to the capture callback
// that receives its block. Once in each talk the drain tick comes 95 ms late; the clicks
// before it and those after it are reported apart.
//
// Receive to speaker: `AudioQueuePlayer::play` of a block with a click, at random instants,
// to when that block is copied into SDL's buffer for the device; the player's queue is
// swapped for one whose callback notes each buffer coming back and then runs the player's
// own output callback. A buffer comes back at the first SDL period after the one that copied
// it, so its copy time is that of the period before. Then a burst: 20 blocks at once and
// the click after them.
//
// Not measured: the device's own buffering after SDL (the disk driver writes each period at
// once; a sound card adds its period or two), the network, and the codec's own delay.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioQueueRecorder.h"
#include "audio/AudioTool.h"
#include "platform/audio/AudioQueue.h"
#include "platform/dispatch/GlobalQueue.h"

using intercom::AudioQueue;
using intercom::AudioQueueBuffer;
using intercom::AudioQueuePlayer;
using intercom::AudioQueueRecorder;
using intercom::AudioTool;
using intercom::Bytes;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kBlockSamples = 320;
constexpr std::size_t kBlockBytes = 640;
constexpr double kBlockMs = 40.0;
constexpr int kBurstBlocks = 20;

double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Figures {
    double median = 0;
    double p99 = 0;
    std::size_t count = 0;
};

Figures figuresOf(std::vector<double> values) {
    Figures f;
    f.count = values.size();
    if (values.empty()) {
        return f;
    }
    std::sort(values.begin(), values.end());
    f.median = values[values.size() / 2];
    const auto rank =
        static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(values.size())));
    f.p99 = values[std::max<std::size_t>(rank, 1) - 1];
    return f;
}

std::filesystem::path folder;

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void putSample(Bytes& pcm, std::size_t index, std::int16_t value) {
    std::memcpy(pcm.data() + 2 * index, &value, 2);
}

// --- microphone to send -------------------------------------------------------------------

// Once in each talk the drain timer's threads are all kept busy for 95 ms, so the tick due
// meanwhile comes late and the ones it overran are dropped, as after a stalled machine.
constexpr std::size_t kStallAfterBlocks = 13;
constexpr auto kStall = 95ms;

void stallTimerThreads(Clock::time_point until) {
    // More tasks than the pool has threads; those that start after `until` return at once.
    for (int i = 0; i < 64; ++i) {
        intercom::dispatch::globalQueue().async([until] { std::this_thread::sleep_until(until); });
    }
}

// The recorder's input queue with a clock on it.
struct TimedInput {
    struct Arrival {
        Clock::time_point at;
        int click = -1;  // the click's sample within the buffer, or -1
    };
    AudioQueueRecorder* recorder = nullptr;
    std::mutex mutex;
    std::vector<Arrival> arrivals;
    std::optional<Clock::time_point> stallEnd;

    static void callback(void* userData, AudioQueue* queue, AudioQueueBuffer* buffer) {
        const auto now = Clock::now();
        auto* self = static_cast<TimedInput*>(userData);
        int click = -1;
        const auto* audio = static_cast<const std::uint8_t*>(buffer->mAudioData);
        for (std::size_t i = 0; i + 1 < buffer->mAudioDataByteSize; i += 2) {
            if (audio[i] != 0 || audio[i + 1] != 0) {
                click = static_cast<int>(i / 2);
                break;
            }
        }
        {
            std::lock_guard lock(self->mutex);
            self->arrivals.push_back({now, click});
            if (self->arrivals.size() == kStallAfterBlocks) {
                self->stallEnd = now + kStall;
                stallTimerThreads(*self->stallEnd);
            }
        }
        self->recorder->handleInputBuffer(queue, buffer);
    }
};

struct CaptureResult {
    std::vector<double> clickToSend;      // before the late tick
    std::vector<double> clickAfterStall;  // a tick or more after the late tick
    std::vector<double> blockToSend;      // before the late tick
    std::vector<double> lateTickBlocks;   // how many blocks the late tick sent
};

// One talk: a click every 4 blocks at varying places within its block.
void talk(int number, CaptureResult& result) {
    constexpr int kBlocks = 30;
    Bytes microphone(kBlocks * kBlockBytes, 0);
    for (int block = 3; block < kBlocks - 3; block += 4) {
        const auto within = static_cast<std::size_t>((block * 97 + number * 41) % kBlockSamples);
        putSample(microphone, static_cast<std::size_t>(block) * kBlockSamples + within, 24000);
    }
    writeFile(folder / "microphone.raw", microphone);

    auto recorder = AudioQueueRecorder::create();
    TimedInput input;
    input.recorder = recorder.get();
    recorder->mQueue.reset();
    recorder->mBuffers.clear();
    recorder->mQueue = AudioQueue::newInput(&TimedInput::callback, &input);
    if (!recorder->mQueue) {
        return;
    }
    for (std::size_t i = 0; i < AudioQueueRecorder::kBufferCount; ++i) {
        auto* buffer = recorder->mQueue->allocateBuffer(AudioQueueRecorder::kBufferBytes);
        recorder->mBuffers.push_back(buffer);
        recorder->mQueue->enqueueBuffer(buffer);
    }
    // SDL's capture thread starts its pace when the device opens, and the drain timer when
    // the talk starts: a real microphone's periods fall anywhere between two ticks.
    std::this_thread::sleep_for(std::chrono::microseconds((number * 7919) % 40000));
    std::mutex mutex;
    std::vector<Clock::time_point> sends;
    recorder->start([&](const Bytes&) {
        const auto now = Clock::now();
        std::lock_guard lock(mutex);
        sends.push_back(now);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(kBlocks * kBlockMs)) +
                                120ms);
    recorder->stop();

    std::lock_guard lockSends(mutex);
    std::lock_guard lockArrivals(input.mutex);
    if (!input.stallEnd) {
        return;
    }
    const auto stallStart = *input.stallEnd - kStall;
    for (std::size_t k = 0; k < input.arrivals.size() && k < sends.size(); ++k) {
        const auto& arrival = input.arrivals[k];
        const double wait = millis(sends[k] - arrival.at);
        const bool before = arrival.at < stallStart;
        // From the late tick on, blocks are sent on the tick grid again.
        const bool after = arrival.at > *input.stallEnd + 5ms;
        if (before) {
            result.blockToSend.push_back(wait);
        }
        if (arrival.click >= 0 && (before || after)) {
            const double fill =
                static_cast<double>(kBlockSamples - static_cast<std::size_t>(arrival.click)) / 8.0;
            (before ? result.clickToSend : result.clickAfterStall).push_back(fill + wait);
        }
    }
    // The late tick is the first send after the stall; whatever went with it shares its time.
    const auto late =
        std::find_if(sends.begin(), sends.end(), [&](auto at) { return at >= *input.stallEnd; });
    if (late != sends.end()) {
        result.lateTickBlocks.push_back(static_cast<double>(
            std::count_if(late, sends.end(), [&](auto at) { return at - *late < 2ms; })));
    }
}

// --- receive to speaker -------------------------------------------------------------------

// The player's output queue with a clock on it.
struct TimedOutput {
    struct Return {
        Clock::time_point at;
        AudioQueueBuffer* buffer;
        bool voiced;      // refilled with a block from the list
        bool lastOfList;  // that block was the last one waiting
    };
    AudioQueuePlayer* player = nullptr;
    std::mutex mutex;
    std::vector<Return> returns;

    static void callback(void* userData, AudioQueue* queue, AudioQueueBuffer* buffer);
};

void TimedOutput::callback(void* userData, AudioQueue* /*queue*/, AudioQueueBuffer* buffer) {
    const auto now = Clock::now();
    auto* self = static_cast<TimedOutput*>(userData);
    self->player->handleOutputBuffer(buffer);
    // Only the measured blocks are ever played; a buffer with nothing waiting gets zeros.
    const auto* audio = static_cast<const std::uint8_t*>(buffer->mAudioData);
    const bool voiced =
        std::any_of(audio, audio + buffer->mAudioDataByteSize, [](auto b) { return b != 0; });
    bool empty = false;
    {
        std::lock_guard lock(self->player->syncLock);
        empty = self->player->dataList.empty();
    }
    std::lock_guard lock(self->mutex);
    self->returns.push_back({now, buffer, voiced, voiced && empty});
}

struct PlaybackResult {
    std::vector<double> playToSdl;
    std::vector<double> burstToSdl;
    std::vector<double> period;
};

// When the block that a return at `fill` took from the list was copied into SDL's buffer:
// the period before the one that handed that buffer back again.
std::optional<Clock::time_point> copyTime(const std::vector<TimedOutput::Return>& returns,
                                          std::size_t fill) {
    for (std::size_t i = fill + 1; i < returns.size(); ++i) {
        if (returns[i].buffer == returns[fill].buffer) {
            return returns[i - 1].at;
        }
    }
    return std::nullopt;
}

void playback(PlaybackResult& result) {
    writeFile(folder / "microphone.raw", Bytes{});
    AudioQueuePlayer player;
    TimedOutput output;
    output.player = &player;
    player.mQueue.reset();
    player.mBuffers.clear();
    player.mQueue = AudioQueue::newOutput(&TimedOutput::callback, &output);
    if (!player.mQueue) {
        return;
    }
    for (std::size_t i = 0; i < AudioQueuePlayer::kBufferCount; ++i) {
        auto* buffer = player.mQueue->allocateBuffer(AudioQueuePlayer::kBufferBytes);
        buffer->mAudioDataByteSize = AudioQueuePlayer::kBufferBytes;
        std::memset(buffer->mAudioData, 0, AudioQueuePlayer::kBufferBytes);
        player.mBuffers.push_back(buffer);
        player.mQueue->enqueueBuffer(buffer);
    }

    Bytes clickPcm(kBlockBytes, 0);
    putSample(clickPcm, 40, 24000);
    const Bytes click = AudioTool::shared().encode(clickPcm);

    player.mQueue->start();
    std::this_thread::sleep_for(200ms);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gap(150, 250);

    const auto playAt = [&](int blocks) {
        for (int i = 1; i < blocks; ++i) {
            player.play(click);
        }
        std::size_t from = 0;
        {
            std::lock_guard lock(output.mutex);
            from = output.returns.size();
        }
        const auto at = Clock::now();
        player.play(click);
        return std::pair(at, from);
    };

    std::vector<std::pair<Clock::time_point, std::size_t>> steady;
    for (int i = 0; i < 50; ++i) {
        steady.push_back(playAt(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
    }
    std::vector<std::pair<Clock::time_point, std::size_t>> bursts;
    for (int i = 0; i < 12; ++i) {
        bursts.push_back(playAt(kBurstBlocks + 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(450 + gap(random)));
    }
    player.mQueue->stop();

    std::lock_guard lock(output.mutex);
    const auto& returns = output.returns;
    // Any refill that took the measured block is noted after the play, so at `from` or later.
    const auto measure = [&](const auto& plays, bool last, std::vector<double>& into) {
        for (const auto& [at, from] : plays) {
            for (std::size_t i = from; i < returns.size(); ++i) {
                if (last ? returns[i].lastOfList : returns[i].voiced) {
                    if (const auto copied = copyTime(returns, i)) {
                        into.push_back(millis(*copied - at));
                    }
                    break;
                }
            }
        }
    };
    measure(steady, false, result.playToSdl);
    measure(bursts, true, result.burstToSdl);
    for (std::size_t i = 1; i < returns.size(); ++i) {
        result.period.push_back(millis(returns[i].at - returns[i - 1].at));
    }
}

// --- report -------------------------------------------------------------------------------

CaptureResult capture;
PlaybackResult play;

void report(benchmark::State& state, const char* name, const Figures& f) {
    state.counters[std::string(name) + "_p50_ms"] = f.median;
    state.counters[std::string(name) + "_p99_ms"] = f.p99;
}

void BM_MicrophoneToSend(benchmark::State& state) {
    for (auto _ : state) {
        for (int number = 0; number < 20; ++number) {
            talk(number, capture);
        }
    }
    if (capture.clickToSend.empty()) {
        state.SkipWithError("no audio input on the disk driver");
        return;
    }
    report(state, "click_to_send", figuresOf(capture.clickToSend));
    report(state, "click_after_late_tick", figuresOf(capture.clickAfterStall));
    report(state, "block_to_send", figuresOf(capture.blockToSend));
    state.counters["late_tick_blocks_p50"] = figuresOf(capture.lateTickBlocks).median;
}
BENCHMARK(BM_MicrophoneToSend)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ReceiveToSpeaker(benchmark::State& state) {
    for (auto _ : state) {
        playback(play);
    }
    if (play.playToSdl.empty()) {
        state.SkipWithError("no audio output on the disk driver");
        return;
    }
    report(state, "play_to_sdl", figuresOf(play.playToSdl));
    report(state, "burst_to_sdl", figuresOf(play.burstToSdl));
}
BENCHMARK(BM_ReceiveToSpeaker)->Iterations(1)->Unit(benchmark::kSecond);

void row(const char* what, const char* design, const Figures& after, double beforeShift,
         const char* beforeNote) {
    std::cout << std::left << std::setw(34) << what << std::setw(16) << design << std::fixed
              << std::setprecision(1) << std::right << std::setw(7) << after.median << std::setw(7)
              << after.p99 << std::setw(9) << after.median + beforeShift << std::setw(7)
              << after.p99 + beforeShift << "  " << beforeNote << "  (n=" << after.count << ")\n";
}

void summary() {
    const auto period = figuresOf(play.period).median;
    const auto clicks = figuresOf(capture.clickToSend);
    const auto blocks = figuresOf(capture.blockToSend);
    const auto steady = figuresOf(play.playToSdl);
    const auto burst = figuresOf(play.burstToSdl);
    std::cout << "\nVoice delay in ms on SDL's disk driver (SDL period " << std::setprecision(1)
              << std::fixed << period << " ms)\n"
              << std::left << std::setw(34) << "" << std::setw(16) << "design" << std::right
              << std::setw(14) << "after p50 p99" << std::setw(16) << "before p50 p99" << '\n';
    row("microphone click to send", "0-80", clicks, 0.0, "no tick late");
    // The old drain sent one block where the late tick now sends them all; the rest stayed
    // behind for the rest of the talk.
    const auto lateBlocks = figuresOf(capture.lateTickBlocks).median;
    row("  after one 95 ms late tick", "0-80", figuresOf(capture.clickAfterStall),
        (lateBlocks - 1) * kBlockMs, "blocks left behind");
    std::cout << "  (the late tick sent " << lateBlocks << " blocks at once, median)\n";
    row("whole block to send", "0-40", blocks, 0.0, "no tick late");
    row("play to SDL", "80-120", steady, period, "done on copy");
    // The bound keeps the click and the blocks just before it; the old list kept all.
    const auto keptAhead = AudioQueuePlayer::kMaxWaitingBytes / kBlockBytes - 1;
    row("play to SDL, 20 blocks ahead", "880-920", burst,
        static_cast<double>(kBurstBlocks - keptAhead) * kBlockMs + period, "no bound");
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    char pattern[] = "/tmp/voice-delay-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 1;
    }
    folder = pattern;
    // The recorder reads the settings: defaults from a store of this run's own.
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    ::setenv("SDL_DISKAUDIOFILEIN", (folder / "microphone.raw").c_str(), 1);
    ::setenv("SDL_DISKAUDIOFILE", (folder / "speaker.raw").c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    summary();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
