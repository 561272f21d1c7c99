#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "platform/audio/AudioQueue.h"
#include "platform/audio/VoiceFormat.h"

namespace intercom {

using Bytes = std::vector<std::uint8_t>;

// The AMR-NB speech codec of the client: voice (`VoiceFormat`) in 20 ms frames of 320 bytes,
// coded at 12.2 kbit/s into 32-byte frames. One encoder and one decoder state live for the
// whole process; each has a lock of its own, since around a reconnect an old and a new player
// may decode at once.
class AudioTool {
  public:
    static constexpr std::size_t kPcmFrameBytes =
        VoiceFormat::bytesFor(std::chrono::milliseconds(20));
    static constexpr std::size_t kAmrFrameBytes = 32;

    static AudioTool& shared();

    ~AudioTool();
    AudioTool(const AudioTool&) = delete;
    AudioTool& operator=(const AudioTool&) = delete;

    // Whole 320-byte frames of PCM in, their 32-byte frames out; a shorter tail is ignored.
    Bytes encode(std::span<const std::uint8_t> pcm);
    // Whole 32-byte frames in, 320 bytes of PCM for each; a shorter tail is ignored.
    Bytes decode(std::span<const std::uint8_t> amr);

  private:
    AudioTool();

    void* const enstate_;
    void* const destate_;
    std::mutex encoderLock_;
    std::mutex decoderLock_;
};

// Scales the captured samples of `buffer` in place by `gain` decibels, rounding halves away
// from zero and clamping to the 16-bit range; an odd last byte stays as it is.
void applyGain(AudioQueueBuffer& buffer, std::int64_t gain);

}  // namespace intercom
