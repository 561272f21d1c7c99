#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace intercom::test {

// Samples in the client's voice format (`VoiceFormat`).
using Pcm = std::vector<std::int16_t>;

// `text` spoken by espeak-ng in `voice` (an espeak-ng voice name: "en", "cmn", ...) and
// resampled by sox to the client's format. Empty, with the reason in `error` when given,
// when either tool is missing or fails.
Pcm speakPhrase(const std::string& text, const std::string& voice = "en",
                std::string* error = nullptr);

// The same phrase written to `path` as raw little-endian PCM, as SDL's disk driver reads
// its microphone file; false, with the reason in `error` when given, on any failure.
bool writeSpokenPhrase(const std::string& text, const std::filesystem::path& path,
                       const std::string& voice = "en", std::string* error = nullptr);

}  // namespace intercom::test
