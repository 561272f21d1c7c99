#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace intercom {

// The one format of the client's voice, from the microphone through the codec to the speaker:
// 8000 Hz mono, signed 16-bit samples in the machine's byte order, in blocks of 40 ms. One
// block fills one audio queue buffer and one SDL period, and is coded into one voice frame.
struct VoiceFormat {
    static constexpr int kSampleRate = 8000;
    static constexpr std::size_t kBytesPerSample = 2;
    static constexpr std::chrono::milliseconds kBlockDuration{40};
    static constexpr std::size_t kBlockSamples =
        static_cast<std::size_t>(kSampleRate * kBlockDuration.count() / 1000);
    static constexpr std::uint32_t kBlockBytes =
        static_cast<std::uint32_t>(kBlockSamples * kBytesPerSample);

    static constexpr std::size_t samplesFor(std::chrono::milliseconds duration) {
        return static_cast<std::size_t>(duration.count() * kSampleRate / 1000);
    }
    static constexpr std::size_t bytesFor(std::chrono::milliseconds duration) {
        return samplesFor(duration) * kBytesPerSample;
    }
};

}  // namespace intercom
