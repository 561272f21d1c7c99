#include "audio/AudioTool.h"

#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrnb/interf_enc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace intercom {

AudioTool& AudioTool::shared() {
    // Never released: the codec states live until the process ends.
    static AudioTool* const instance = new AudioTool();
    return *instance;
}

AudioTool::AudioTool() : enstate_(Encoder_Interface_init(0)), destate_(Decoder_Interface_init()) {}

AudioTool::~AudioTool() {
    Encoder_Interface_exit(enstate_);
    Decoder_Interface_exit(destate_);
}

Bytes AudioTool::encode(std::span<const std::uint8_t> pcm) {
    Bytes result;
    if (pcm.empty() || enstate_ == nullptr) {
        return result;
    }
    result.reserve(pcm.size() / kPcmFrameBytes * kAmrFrameBytes);
    std::lock_guard lock(encoderLock_);
    std::array<short, kPcmFrameBytes / 2> speech{};
    for (std::size_t offset = 0; offset + kPcmFrameBytes <= pcm.size(); offset += kPcmFrameBytes) {
        // The input need not be aligned for 16-bit access.
        std::memcpy(speech.data(), pcm.data() + offset, kPcmFrameBytes);
        std::array<unsigned char, kAmrFrameBytes> frame{};
        const int written =
            Encoder_Interface_Encode(enstate_, MR122, speech.data(), frame.data(), 0);
        const auto count = static_cast<std::size_t>(std::clamp<int>(written, 0, kAmrFrameBytes));
        result.insert(result.end(), frame.begin(), frame.begin() + static_cast<long>(count));
    }
    return result;
}

Bytes AudioTool::decode(std::span<const std::uint8_t> amr) {
    Bytes result;
    if (amr.empty() || destate_ == nullptr) {
        return result;
    }
    result.reserve(amr.size() / kAmrFrameBytes * kPcmFrameBytes);
    std::lock_guard lock(decoderLock_);
    std::array<short, kPcmFrameBytes / 2> speech{};
    for (std::size_t offset = 0; offset + kAmrFrameBytes <= amr.size(); offset += kAmrFrameBytes) {
        speech.fill(0);
        Decoder_Interface_Decode(destate_, amr.data() + offset, speech.data(), 0);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(speech.data());
        result.insert(result.end(), bytes, bytes + kPcmFrameBytes);
    }
    return result;
}

void applyGain(AudioQueueBuffer& buffer, std::int64_t gain) {
    const float factor = ::exp10f(static_cast<float>(gain) / 20.0F);
    const std::size_t count = buffer.mAudioDataByteSize / 2;
    auto* bytes = static_cast<std::uint8_t*>(buffer.mAudioData);
    for (std::size_t i = 0; i < count; ++i) {
        std::int16_t sample;
        std::memcpy(&sample, bytes + 2 * i, 2);
        const float scaled = std::round(static_cast<float>(sample) * factor);
        // A gain beyond any float (a damaged record) makes silence times infinity: NaN,
        // which no clamp catches; silence stays silence.
        sample = std::isnan(scaled)
                     ? std::int16_t{0}
                     : static_cast<std::int16_t>(std::clamp(scaled, -32768.0F, 32767.0F));
        std::memcpy(bytes + 2 * i, &sample, 2);
    }
}

}  // namespace intercom
