// Frames built and split per second. A talking user sends one voice frame every 40 ms and a
// busy listener receives a few dozen; these figures show how far below that the cost stays.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <vector>

#include "model/Group.h"
#include "model/UserInfo.h"
#include "net/signalling/Frame.h"
#include "net/signalling/FrameBuilder.h"
#include "net/signalling/FrameReader.h"
#include "net/signalling/SenderFrames.h"

namespace {

using namespace intercom;

const Bytes kVoice(64, 0x3C);

std::vector<Group> twoGroups() {
    std::vector<Group> groups(2);
    groups[0].id = 11;
    groups[1].id = 12;
    return groups;
}

// Includes the read of the stored user that every voice frame makes.
void BuildVoiceFrameFromStoredUser(benchmark::State& state) {
    const auto groups = twoGroups();
    for (auto _ : state) {
        benchmark::DoNotOptimize(makeAudioFrame(Message::audioChannels, 1024, groups, kVoice));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildVoiceFrameFromStoredUser);

void BuildVoiceFrame(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(FrameBuilder(Message::audioChannels, 84)
                                     .integer(1024)
                                     .integer(3)
                                     .integer(2)
                                     .integer(11)
                                     .integer(12)
                                     .bytes(kVoice)
                                     .finish());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildVoiceFrame);

void SplitVoiceFrame(benchmark::State& state) {
    const auto frame = *makeFrame(Message::audioData, kVoice);
    for (auto _ : state) {
        benchmark::DoNotOptimize(splitFrame(frame));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SplitVoiceFrame);

// A received stream of voice with control frames among it, arriving in segments of a
// typical TCP payload size, cut into frames by the reader.
void ReadStream(benchmark::State& state) {
    const auto chunkSize = static_cast<std::size_t>(state.range(0));
    Bytes stream;
    constexpr int kFrames = 1000;
    for (int i = 0; i < kFrames; ++i) {
        const auto frame = i % 10 == 9 ? *makeFrame(Message::userOnline, Bytes{0, 0, 0, 7})
                                       : *makeFrame(Message::audioData, kVoice);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    for (auto _ : state) {
        FrameReader reader;
        std::size_t frames = 0;
        for (std::size_t offset = 0; offset < stream.size(); offset += chunkSize) {
            reader.append(
                std::span(stream).subspan(offset, std::min(chunkSize, stream.size() - offset)));
            while (auto frame = reader.next()) {
                benchmark::DoNotOptimize(frame);
                ++frames;
            }
        }
        if (frames != kFrames) {
            state.SkipWithError("frames lost");
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(ReadStream)->Arg(1448)->Arg(65536);

}  // namespace

int main(int argc, char** argv) {
    // Keep the benchmark's records out of the user's own store.
    const auto folder = std::filesystem::temp_directory_path() / "intercom-frame-bench";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    intercom::UserInfo user;
    user.id = 1024;
    user.sceneId = 3;
    user.name = "张伟";
    user.save();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
