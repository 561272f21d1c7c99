#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "audio/AudioTool.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace intercom::test {

// Points SDL's disk driver at files of a fresh folder: `microphone()` is read as the
// input device, `speaker()` receives everything played. Devices opened before the setup
// keep their files.
class DiskAudio {
  public:
    DiskAudio();
    const std::filesystem::path& microphone() const { return microphone_; }
    const std::filesystem::path& speaker() const { return speaker_; }
    const TempDir& folder() const { return folder_; }

  private:
    TempDir folder_;
    std::filesystem::path microphone_;
    std::filesystem::path speaker_;
};

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);
std::uintmax_t fileSize(const std::filesystem::path& path);

// PCM of `bytes` bytes whose samples are never 0 and differ from block to block, so that
// each block can be found again in a recording.
Bytes patternBlock(std::size_t bytes, int seed);
std::vector<std::int16_t> samplesOf(const Bytes& pcm);

// Where `needle` starts in `haystack`, at or after `from`.
std::optional<std::size_t> find(const Bytes& haystack, const Bytes& needle, std::size_t from = 0);
bool isSilent(const Bytes& bytes, std::size_t from, std::size_t to);

}  // namespace intercom::test
