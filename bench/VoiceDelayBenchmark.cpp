// Voice delay on SDL's disk driver, which reads the microphone from a file and writes the
// speaker to one, 40 ms at a time in real time.
//
// Microphone to send: clicks (one loud sample after silence) in the microphone file. The real
// recorder captures and drains them, on an input queue whose callback notes when SDL handed
// each 40 ms buffer over (the disk driver reads it just before) and then hands the buffer to
// the recorder as its own input callback does. A click's delay is the time from its sample's
// arrival (the buffer's hand-over less the samples after it, at 8000 Hz) to the capture callback
// that receives its block. Once in each talk the drain tick comes 95 ms late; the clicks
// before it and those after it are reported apart.
//
// Receive to speaker: `AudioQueuePlayer::play` of a block with a click, at random instants,
// to when that block is copied into SDL's buffer for the device; the player runs on a queue
// whose callback notes each buffer coming back and then hands it to the player as its own
// output callback does. A buffer comes back at the first SDL period after the one that copied
// it, so its copy time is that of the period before. Then speech at its pace (one block per
// SDL period), evenly and two at once then none, and bursts of 3 and of 20 blocks on top of
// it, each followed by 2.5 s of speech at its pace: every block is told apart by its decoded
// PCM, and its delay is set against the design's depth at its instant (the delay it would
// have met taken at the first refill after its play).
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
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioQueueRecorder.h"
#include "audio/AudioTool.h"
#include "platform/audio/AudioQueue.h"
#include "platform/audio/VoiceFormat.h"
#include "platform/dispatch/GlobalQueue.h"

using intercom::AudioQueue;
using intercom::AudioQueueBuffer;
using intercom::AudioQueuePlayer;
using intercom::AudioQueueRecorder;
using intercom::AudioTool;
using intercom::Bytes;
using intercom::VoiceFormat;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kBlockSamples = VoiceFormat::kBlockSamples;
constexpr std::size_t kBlockBytes = VoiceFormat::kBlockBytes;
constexpr double kBlockMs =
    std::chrono::duration<double, std::milli>(VoiceFormat::kBlockDuration).count();
constexpr double kSamplesPerMs = VoiceFormat::kSampleRate / 1000.0;
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

    TimedInput input;
    auto queue = AudioQueue::newInput(&TimedInput::callback, &input);
    if (!queue) {
        return;
    }
    std::mutex mutex;
    std::vector<Clock::time_point> sends;
    auto recorder = AudioQueueRecorder::create(std::move(queue), [&](const Bytes&) {
        const auto now = Clock::now();
        std::lock_guard lock(mutex);
        sends.push_back(now);
    });
    input.recorder = recorder.get();
    // SDL's capture thread starts its pace when the device opens, and the drain timer when
    // the talk starts: a real microphone's periods fall anywhere between two ticks.
    const auto block = std::chrono::microseconds(VoiceFormat::kBlockDuration).count();
    std::this_thread::sleep_for(std::chrono::microseconds((number * 7919) % block));
    recorder->start();
    std::this_thread::sleep_for(kBlocks * VoiceFormat::kBlockDuration + 120ms);
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
                static_cast<double>(kBlockSamples - static_cast<std::size_t>(arrival.click)) /
                kSamplesPerMs;
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

std::size_t hashOf(const std::uint8_t* bytes, std::size_t count) {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(bytes), count));
}

// The player's output queue with a clock on it.
struct TimedOutput {
    struct Return {
        Clock::time_point at;
        AudioQueueBuffer* buffer;
        bool voiced;       // refilled with a block from the list
        std::size_t hash;  // of the block it was refilled with
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
    const auto hash = hashOf(audio, buffer->mAudioDataByteSize);
    std::lock_guard lock(self->mutex);
    self->returns.push_back({now, buffer, voiced, hash});
}

// A block of speech played at the talker's pace, as the relay delivers it.
struct Paced {
    enum class Kind { Steady, Jittered, Burst };
    Kind kind;
    int burst = -1;         // which burst it came with or after
    double sinceBurst = 0;  // seconds
    Clock::time_point at;
    std::optional<std::size_t> hash;  // of its decoded PCM, when it could be told apart
};

// What the paced blocks met, from their plays and the queue's returns.
struct PacedDelay {
    std::optional<double> delay;  // ms from the play to the copy into SDL's buffer; none: lost
    double design = 0;            // the same for a block taken at the first refill after its play
};

struct BurstRun {
    int blocks = 0;
    std::vector<std::pair<double, PacedDelay>> after;  // seconds since the burst, delay
    std::size_t lost = 0;                              // of the burst and the blocks after it
};

// The blocks of one pace: the delay of each that was played, and how many were lost.
struct PaceTally {
    std::vector<double> delays;
    std::size_t sent = 0;
    std::size_t lost = 0;

    void add(std::optional<double> delay) {
        ++sent;
        if (delay) {
            delays.push_back(*delay);
        } else {
            ++lost;
        }
    }
};

struct PlaybackResult {
    std::vector<double> playToSdl;
    std::vector<double> period;
    PaceTally steady;
    PaceTally jittered;
    std::vector<BurstRun> bursts;
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

// Speech-like blocks that the codec keeps loud and that differ from each other.
std::vector<Bytes> speechBlocks(int count) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> sample(-9000, 9000);
    std::vector<Bytes> blocks;
    for (int i = 0; i < count; ++i) {
        Bytes pcm(kBlockBytes);
        for (std::size_t k = 0; k < kBlockSamples; ++k) {
            const double tone = 6000.0 * std::sin(static_cast<double>(k * (i % 7 + 3)) * 0.11);
            putSample(pcm, k, static_cast<std::int16_t>(tone + sample(random) / 3));
        }
        blocks.push_back(AudioTool::shared().encode(pcm));
    }
    return blocks;
}

constexpr int kBurstRounds = 5;
constexpr int kPacedSlots = 75;       // 3 s at the pace of speech
constexpr int kAfterBurstSlots = 62;  // 2.5 s
constexpr double kBinSeconds = 0.2;

void playback(PlaybackResult& result) {
    writeFile(folder / "microphone.raw", Bytes{});
    TimedOutput output;
    auto queue = AudioQueue::newOutput(&TimedOutput::callback, &output);
    if (!queue) {
        return;
    }
    AudioQueuePlayer player(std::move(queue));
    output.player = &player;

    Bytes clickPcm(kBlockBytes, 0);
    putSample(clickPcm, 40, 24000);
    const Bytes click = AudioTool::shared().encode(clickPcm);
    const auto speech = speechBlocks(1200);

    player.start();
    std::this_thread::sleep_for(200ms);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gap(150, 250);

    // Single blocks at random instants, with silence between.
    std::vector<std::pair<Clock::time_point, std::size_t>> singles;
    for (int i = 0; i < 50; ++i) {
        std::size_t from = 0;
        {
            std::lock_guard lock(output.mutex);
            from = output.returns.size();
        }
        singles.emplace_back(Clock::now(), from);
        player.play(click);
        std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
    }
    std::vector<double> periods;
    {
        std::lock_guard lock(output.mutex);
        for (std::size_t i = 1; i < output.returns.size(); ++i) {
            periods.push_back(millis(output.returns[i].at - output.returns[i - 1].at));
        }
    }
    // The talker's pace is its own device's period, which on this machine is the speaker's.
    const auto pace = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(figuresOf(periods).median));

    // Speech at its pace: slot by slot, how many blocks the relay hands over at once.
    std::vector<Paced> paced;
    std::size_t next = 0;
    auto slot = Clock::now();
    Clock::time_point burstAt;
    const auto run = [&](int slots, Paced::Kind kind, int burst, int burstBlocks, bool jitter) {
        for (int i = 0; i < slots; ++i) {
            std::this_thread::sleep_until(slot);
            int count = jitter ? (i % 2 == 0 ? 2 : 0) : 1;
            if (i == 0 && burstBlocks > 0) {
                count += burstBlocks;
                burstAt = Clock::now();
            }
            for (int k = 0; k < count; ++k) {
                Paced block{kind, burst, 0, Clock::now(), std::nullopt};
                block.sinceBurst = std::chrono::duration<double>(block.at - burstAt).count();
                player.play(speech[next++ % speech.size()]);
                const auto waiting = player.waitingBlocks();
                if (!waiting.empty()) {
                    block.hash = hashOf(waiting.back().data(), waiting.back().size());
                }
                paced.push_back(block);
            }
            slot += pace;
        }
        slot += 500ms;  // the list runs empty before the next part
    };
    run(kPacedSlots, Paced::Kind::Steady, -1, 0, false);
    run(kPacedSlots, Paced::Kind::Jittered, -1, 0, true);
    for (int round = 0; round < kBurstRounds; ++round) {
        for (const int blocks : {3, kBurstBlocks}) {
            result.bursts.push_back({blocks, {}, 0});
            run(kAfterBurstSlots, Paced::Kind::Burst, static_cast<int>(result.bursts.size()) - 1,
                blocks, false);
        }
    }
    std::this_thread::sleep_until(slot);
    player.stop();

    std::lock_guard lock(output.mutex);
    const auto& returns = output.returns;
    // Any refill that took a measured single block is noted after its play, so at `from` or later.
    for (const auto& [at, from] : singles) {
        for (std::size_t i = from; i < returns.size(); ++i) {
            if (returns[i].voiced) {
                if (const auto copied = copyTime(returns, i)) {
                    result.playToSdl.push_back(millis(*copied - at));
                }
                break;
            }
        }
    }
    for (std::size_t i = 1; i < returns.size(); ++i) {
        result.period.push_back(millis(returns[i].at - returns[i - 1].at));
    }

    // Blocks whose decoded PCM came out the same cannot be told apart: they are not counted.
    std::unordered_map<std::size_t, int> seen;
    for (const auto& block : paced) {
        if (block.hash) {
            ++seen[*block.hash];
        }
    }
    std::unordered_map<std::size_t, std::size_t> refilledWith;
    for (std::size_t i = 0; i < returns.size(); ++i) {
        if (returns[i].voiced) {
            refilledWith.emplace(returns[i].hash, i);
        }
    }
    for (const auto& block : paced) {
        if (!block.hash || seen[*block.hash] != 1) {
            continue;
        }
        PacedDelay measured;
        const auto first = static_cast<std::size_t>(
            std::lower_bound(returns.begin(), returns.end(), block.at,
                             [](const auto& r, auto at) { return r.at < at; }) -
            returns.begin());
        const auto found = refilledWith.find(*block.hash);
        const auto taken = found == refilledWith.end() ? first : std::min(first, found->second);
        const auto design = copyTime(returns, taken);
        if (!design) {
            continue;
        }
        measured.design = millis(*design - block.at);
        if (found != refilledWith.end()) {
            const auto copied = copyTime(returns, found->second);
            if (!copied) {
                continue;
            }
            measured.delay = millis(*copied - block.at);
        }
        switch (block.kind) {
            case Paced::Kind::Steady:
                result.steady.add(measured.delay);
                break;
            case Paced::Kind::Jittered:
                result.jittered.add(measured.delay);
                break;
            case Paced::Kind::Burst:
                auto& burst = result.bursts[static_cast<std::size_t>(block.burst)];
                burst.lost += measured.delay ? 0 : 1;
                burst.after.emplace_back(block.sinceBurst, measured);
                break;
        }
    }
}

// --- report -------------------------------------------------------------------------------

CaptureResult capture;
PlaybackResult play;

void report(benchmark::State& state, const char* name, const Figures& f) {
    state.counters[std::string(name) + "_p50_ms"] = f.median;
    state.counters[std::string(name) + "_p99_ms"] = f.p99;
}

// How long after the burst the delay is back within 10 ms of the design's depth: the first
// block after the burst's own heard so (the burst's first block still finds the list empty).
// Later on, a pace slot that the machine serves late can leave one block waiting for good,
// 40 ms; the table by time shows those.
std::optional<double> caughtUpAt(const BurstRun& run) {
    for (const auto& [at, measured] : run.after) {
        if (at > 0.02 && measured.delay && *measured.delay - measured.design <= 10.0) {
            return at;
        }
    }
    return std::nullopt;
}

struct AfterBursts {
    std::vector<double> caughtUp;  // seconds
    std::size_t never = 0;         // bursts not caught up before the next one
    std::vector<double> lost;      // blocks per burst
    std::vector<double> before;    // ms, heard in the first second
    std::vector<double> live;      // ms, heard from 1.5 s on
};

AfterBursts afterBursts(int blocks) {
    AfterBursts after;
    for (const auto& run : play.bursts) {
        if (run.blocks != blocks) {
            continue;
        }
        if (const auto at = caughtUpAt(run)) {
            after.caughtUp.push_back(*at);
        } else {
            ++after.never;
        }
        after.lost.push_back(static_cast<double>(run.lost));
        for (const auto& [at, measured] : run.after) {
            if (measured.delay && at > 0.1 && at < 0.9) {
                after.before.push_back(*measured.delay);
            }
            if (measured.delay && at >= 1.5) {
                after.live.push_back(*measured.delay);
            }
        }
    }
    return after;
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
    report(state, "paced_to_sdl", figuresOf(play.steady.delays));
    for (const int blocks : {3, kBurstBlocks}) {
        const auto after = afterBursts(blocks);
        const auto name = "burst_" + std::to_string(blocks);
        state.counters[name + "_caught_up_p50_s"] = figuresOf(after.caughtUp).median;
        state.counters[name + "_live_p50_ms"] = figuresOf(after.live).median;
    }
}
BENCHMARK(BM_ReceiveToSpeaker)->Iterations(1)->Unit(benchmark::kSecond);

void row(const char* what, const char* design, const Figures& after, double beforeShift,
         const char* beforeNote) {
    std::cout << std::left << std::setw(36) << what << std::setw(16) << design << std::fixed
              << std::setprecision(1) << std::right << std::setw(7) << after.median << std::setw(7)
              << after.p99 << std::setw(9) << after.median + beforeShift << std::setw(7)
              << after.p99 + beforeShift << "  " << beforeNote << "  (n=" << after.count << ")\n";
}

// The delay after bursts of `blocks`, over time: median and 99th percentile of the blocks
// heard in each fifth of a second, and how far above the design's depth they were.
void overTime(int blocks) {
    std::vector<std::vector<double>> delays;
    std::vector<std::vector<double>> extras;
    for (const auto& run : play.bursts) {
        if (run.blocks != blocks) {
            continue;
        }
        for (const auto& [at, measured] : run.after) {
            if (!measured.delay) {
                continue;
            }
            const auto bin = static_cast<std::size_t>(at / kBinSeconds);
            delays.resize(std::max(delays.size(), bin + 1));
            extras.resize(delays.size());
            delays[bin].push_back(*measured.delay);
            extras[bin].push_back(*measured.delay - measured.design);
        }
    }
    std::cout << "\nAfter a burst of " << blocks << " blocks on top of speech at its pace ("
              << kBurstRounds << " bursts), by time since the burst:\n"
              << "  seconds    delay p50 p99   above the design's depth p50 max\n";
    for (std::size_t bin = 0; bin < delays.size(); ++bin) {
        if (delays[bin].empty()) {
            continue;
        }
        const auto delay = figuresOf(delays[bin]);
        const auto extra = figuresOf(extras[bin]);
        std::cout << "  " << std::fixed << std::setprecision(1) << std::setw(3)
                  << static_cast<double>(bin) * kBinSeconds << "-" << std::setw(3)
                  << static_cast<double>(bin + 1) * kBinSeconds << std::setw(11) << delay.median
                  << std::setw(7) << delay.p99 << std::setw(22) << extra.median << std::setw(7)
                  << *std::max_element(extras[bin].begin(), extras[bin].end()) << '\n';
    }
    const auto after = afterBursts(blocks);
    if (after.caughtUp.empty()) {
        std::cout << "  never back within 10 ms of the design's depth\n";
        return;
    }
    std::cout << "  back within 10 ms of the design's depth after " << std::setprecision(2)
              << figuresOf(after.caughtUp).median << " s (median), "
              << *std::max_element(after.caughtUp.begin(), after.caughtUp.end()) << " s (latest), "
              << after.never << " of " << after.caughtUp.size() + after.never
              << " bursts never; blocks lost per burst, of the " << blocks + 1
              << " at once and those after: " << std::setprecision(0)
              << figuresOf(after.lost).median << '\n';
}

void summary() {
    const auto period = figuresOf(play.period).median;
    const auto clicks = figuresOf(capture.clickToSend);
    const auto blocks = figuresOf(capture.blockToSend);
    const auto singles = figuresOf(play.playToSdl);
    std::cout << "\nVoice delay in ms on SDL's disk driver (SDL period " << std::setprecision(1)
              << std::fixed << period << " ms)\n"
              << std::left << std::setw(36) << "" << std::setw(16) << "design" << std::right
              << std::setw(14) << "after p50 p99" << std::setw(16) << "before p50 p99" << '\n';
    row("microphone click to send", "0-80", clicks, 0.0, "no tick late");
    // The old drain sent one block where the late tick now sends them all; the rest stayed
    // behind for the rest of the talk.
    const auto lateBlocks = figuresOf(capture.lateTickBlocks).median;
    row("  after one 95 ms late tick", "0-80", figuresOf(capture.clickAfterStall),
        (lateBlocks - 1) * kBlockMs, "blocks left behind");
    std::cout << "  (the late tick sent " << lateBlocks << " blocks at once, median)\n";
    row("whole block to send", "0-40", blocks, 0.0, "no tick late");
    row("play to SDL", "80-120", singles, period, "done on copy");
    row("  speech at its pace", "80-120", figuresOf(play.steady.delays), period, "done on copy");
    row("  two at once, then none", "80-160", figuresOf(play.jittered.delays), period,
        "done on copy");
    // Without the catch-up, what the first second after a burst met stayed for the talk.
    for (const int burst : {3, kBurstBlocks}) {
        const auto after = afterBursts(burst);
        const auto live = figuresOf(after.live);
        const auto before = figuresOf(after.before);
        const std::string what = "  1.5 s on after a burst of " + std::to_string(burst);
        row(what.c_str(), "80-120", live, before.median - live.median + period,
            "no catch-up, done on copy");
    }
    std::cout << "  (blocks lost at the pace of speech: " << play.steady.lost << " of "
              << play.steady.sent << "; two at once, then none: " << play.jittered.lost << " of "
              << play.jittered.sent << ")\n";
    overTime(3);
    overTime(kBurstBlocks);
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
