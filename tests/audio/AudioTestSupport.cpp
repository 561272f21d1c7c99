#include "AudioTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace intercom::test {

DiskAudio::DiskAudio()
    : microphone_(folder_.path() / "microphone.raw"), speaker_(folder_.path() / "speaker.raw") {
    ::setenv("SDL_DISKAUDIOFILEIN", microphone_.c_str(), 1);
    ::setenv("SDL_DISKAUDIOFILE", speaker_.c_str(), 1);
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uintmax_t fileSize(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

Bytes patternBlock(std::size_t bytes, int seed) {
    Bytes block(bytes);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const auto index = static_cast<int>(i / 2);
        auto sample = static_cast<std::int16_t>(((seed * 7919 + index * 31) % 1999) - 999);
        if (sample == 0) {
            sample = static_cast<std::int16_t>(seed % 500 + 1);
        }
        std::memcpy(block.data() + i, &sample, 2);
    }
    return block;
}

std::vector<std::int16_t> samplesOf(const Bytes& pcm) {
    std::vector<std::int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    return samples;
}

std::optional<std::size_t> find(const Bytes& haystack, const Bytes& needle, std::size_t from) {
    if (from > haystack.size()) {
        return std::nullopt;
    }
    const auto at = std::search(haystack.begin() + static_cast<long>(from), haystack.end(),
                                needle.begin(), needle.end());
    if (at == haystack.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(at - haystack.begin());
}

bool isSilent(const Bytes& bytes, std::size_t from, std::size_t to) {
    return std::all_of(bytes.begin() + static_cast<long>(from),
                       bytes.begin() + static_cast<long>(to), [](auto b) { return b == 0; });
}

}  // namespace intercom::test
