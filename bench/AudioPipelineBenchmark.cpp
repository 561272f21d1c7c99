// Costs of the voice pipeline per 40 ms block, set against the bare codec calls of the same
// run: the capture path (input callback with its settings read, cache append, drain,
// encode, capture callback) must cost no more than 1.1 times two bare encoder calls, and
// the playback path (play with its decode, output callback) no more than 1.1 times two
// bare decoder calls.
#include <benchmark/benchmark.h>
#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrnb/interf_enc.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioQueueRecorder.h"
#include "audio/AudioTool.h"
#include "platform/audio/VoiceFormat.h"

using intercom::AudioQueue;
using intercom::AudioQueueBuffer;
using intercom::AudioTool;
using intercom::Bytes;
using intercom::VoiceFormat;

namespace {

// 40 ms of a voiced sound: a 140 Hz buzz through two formants, with a little noise.
Bytes speechBlock() {
    Bytes block(VoiceFormat::kBlockBytes);
    unsigned noise = 12345;
    for (std::size_t i = 0; i < VoiceFormat::kBlockSamples; ++i) {
        const double t = static_cast<double>(i) / VoiceFormat::kSampleRate;
        noise = noise * 1103515245U + 12345U;
        const double value = 6000 * std::sin(2 * M_PI * 140 * t) * std::sin(2 * M_PI * 700 * t) +
                             3000 * std::sin(2 * M_PI * 1200 * t) +
                             static_cast<double>(noise % 600) - 300;
        const auto sample = static_cast<std::int16_t>(value);
        std::memcpy(block.data() + 2 * i, &sample, 2);
    }
    return block;
}

void BM_ApplyGain640(benchmark::State& state) {
    Bytes block = speechBlock();
    AudioQueueBuffer buffer;
    buffer.mAudioData = block.data();
    buffer.mAudioDataBytesCapacity = buffer.mAudioDataByteSize = VoiceFormat::kBlockBytes;
    for (auto _ : state) {
        intercom::applyGain(buffer, 1);
        benchmark::DoNotOptimize(block.data());
        intercom::applyGain(buffer, -1);
    }
}
BENCHMARK(BM_ApplyGain640)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_BareEncode640(benchmark::State& state) {
    void* encoder = Encoder_Interface_init(0);
    const Bytes block = speechBlock();
    short speech[160];
    unsigned char frame[32];
    for (auto _ : state) {
        for (std::size_t at = 0; at < block.size(); at += sizeof speech) {
            std::memcpy(speech, block.data() + at, sizeof speech);
            benchmark::DoNotOptimize(Encoder_Interface_Encode(encoder, MR122, speech, frame, 0));
        }
    }
    Encoder_Interface_exit(encoder);
}
BENCHMARK(BM_BareEncode640)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_Encode640(benchmark::State& state) {
    const Bytes block = speechBlock();
    for (auto _ : state) {
        benchmark::DoNotOptimize(AudioTool::shared().encode(block));
    }
}
BENCHMARK(BM_Encode640)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_BareDecode64(benchmark::State& state) {
    void* decoder = Decoder_Interface_init();
    const Bytes amr = AudioTool::shared().encode(speechBlock());
    short speech[160];
    for (auto _ : state) {
        for (std::size_t at = 0; at < 64; at += 32) {
            Decoder_Interface_Decode(decoder, amr.data() + at, speech, 0);
            benchmark::DoNotOptimize(speech);
        }
    }
    Decoder_Interface_exit(decoder);
}
BENCHMARK(BM_BareDecode64)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_Decode64(benchmark::State& state) {
    const Bytes amr = AudioTool::shared().encode(speechBlock());
    for (auto _ : state) {
        benchmark::DoNotOptimize(AudioTool::shared().decode(amr));
    }
}
BENCHMARK(BM_Decode64)->Repetitions(7)->ReportAggregatesOnly(true);

// The bare codec calls of one block, on states of their own.
class BareCodec {
  public:
    BareCodec() : encoder_(Encoder_Interface_init(0)), decoder_(Decoder_Interface_init()) {}
    ~BareCodec() {
        Encoder_Interface_exit(encoder_);
        Decoder_Interface_exit(decoder_);
    }
    BareCodec(const BareCodec&) = delete;
    BareCodec& operator=(const BareCodec&) = delete;

    void encode(const Bytes& pcm) {
        for (std::size_t at = 0; at < pcm.size(); at += sizeof speech_) {
            std::memcpy(speech_, pcm.data() + at, sizeof speech_);
            benchmark::DoNotOptimize(Encoder_Interface_Encode(encoder_, MR122, speech_, frame_, 0));
        }
    }
    void decode(const Bytes& amr) {
        for (std::size_t at = 0; at < 64; at += 32) {
            Decoder_Interface_Decode(decoder_, amr.data() + at, speech_, 0);
            benchmark::DoNotOptimize(speech_);
        }
    }

  private:
    void* encoder_;
    void* decoder_;
    short speech_[160]{};
    unsigned char frame_[32]{};
};

// Times a path and the bare codec calls of the same block alternately, so that whatever
// else the machine does weighs on both alike; reports the time of each and their ratio.
template <typename Path, typename Bare>
void timeAgainstBare(benchmark::State& state, Path path, Bare bare) {
    using Clock = std::chrono::steady_clock;
    Clock::duration pathTime{};
    Clock::duration bareTime{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        bare();
        const auto t1 = Clock::now();
        path();
        const auto t2 = Clock::now();
        bareTime += t1 - t0;
        pathTime += t2 - t1;
    }
    const auto iterations = static_cast<double>(state.iterations());
    const double pathNs = std::chrono::duration<double, std::nano>(pathTime).count() / iterations;
    const double bareNs = std::chrono::duration<double, std::nano>(bareTime).count() / iterations;
    state.counters["path_ns"] = pathNs;
    state.counters["bare_ns"] = bareNs;
    state.counters["ratio"] = pathNs / bareNs;
}

// The queues of the two paths never run: the benchmark plays the audio thread.
void ignoreBuffer(void* /*userData*/, AudioQueue* /*queue*/, AudioQueueBuffer* /*buffer*/) {}

void BM_CapturePath(benchmark::State& state) {
    auto microphone = AudioQueue::newInput(&ignoreBuffer, nullptr);
    AudioQueueBuffer* buffer =
        microphone ? microphone->allocateBuffer(VoiceFormat::kBlockBytes) : nullptr;
    if (buffer == nullptr) {
        state.SkipWithError("no audio input device");
        return;
    }
    // The recorder's own queue, as its input callback is handed the buffers: a second input
    // device would not open on a driver that keeps one each way, SDL's dummy driver among them.
    AudioQueue* queue = microphone.get();
    std::size_t sent = 0;
    auto recorder = intercom::AudioQueueRecorder::create(
        std::move(microphone), [&sent](const Bytes& amr) { sent += amr.size(); });
    const Bytes block = speechBlock();
    BareCodec codec;
    timeAgainstBare(
        state,
        [&] {
            // What the audio thread hands over: one filled buffer of a voice block.
            std::memcpy(buffer->mAudioData, block.data(), block.size());
            buffer->mAudioDataByteSize = VoiceFormat::kBlockBytes;
            recorder->handleInputBuffer(queue, buffer);
            recorder->drainCachedAudio();
        },
        [&] { codec.encode(block); });
    benchmark::DoNotOptimize(sent);
}
BENCHMARK(BM_CapturePath)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_PlaybackPath(benchmark::State& state) {
    auto speaker = AudioQueue::newOutput(&ignoreBuffer, nullptr);
    AudioQueueBuffer* buffer =
        speaker ? speaker->allocateBuffer(VoiceFormat::kBlockBytes) : nullptr;
    if (buffer == nullptr) {
        state.SkipWithError("no audio output device");
        return;
    }
    // The buffer is the player's own, as the ones its callback refills are.
    intercom::AudioQueuePlayer player(std::move(speaker));
    const Bytes amr = AudioTool::shared().encode(speechBlock());
    BareCodec codec;
    timeAgainstBare(
        state,
        [&] {
            player.play(amr);
            player.handleOutputBuffer(buffer);
        },
        [&] { codec.decode(amr); });
}
BENCHMARK(BM_PlaybackPath)->Repetitions(7)->ReportAggregatesOnly(true);

// Keeps the median ratio of each path so that the run can say whether it met its bound.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            const auto ratio = run.counters.find("ratio");
            if (!run.error_occurred && run.aggregate_name == "median" &&
                ratio != run.counters.end()) {
                ratios_[run.run_name.function_name] = ratio->second.value;
            }
        }
    }
    bool withinBound() const {
        bool within = true;
        for (const auto& [name, ratio] : ratios_) {
            std::cout << name << ": path / bare codec calls = " << ratio
                      << (ratio <= 1.1 ? "  (within 1.1)" : "  (OVER 1.1)") << '\n';
            within = within && ratio <= 1.1;
        }
        return within;
    }

  private:
    std::map<std::string, double> ratios_;
};

}  // namespace

int main(int argc, char** argv) {
    // The paths need an audio queue but never start it: SDL's dummy driver opens anywhere.
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool within = reporter.withinBound();
    benchmark::Shutdown();
    return within ? 0 : 1;
}
