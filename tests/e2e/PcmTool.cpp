// The sound files of the end-to-end test and the whole-client benchmark, made and compared
// by the same code as the audio tests':
//   pcm_tool phrase TEXT OUT LEAD_MS TAIL_MS  a spoken phrase between silences, as raw PCM,
//                                             all of it over a faint noise floor
//   pcm_tool match REFERENCE HEARD            prints the envelope correlation and the lag of
//                                             what HEARD holds besides digital silence
//   pcm_tool voiced FILE                      prints how many samples FILE holds besides
//                                             digital silence
//   pcm_tool onset FILE                       prints the sample where a click begins
// Raw files are 8000 Hz mono signed 16-bit little-endian, as SDL's disk driver uses them.
// A player puts out digital silence whenever it has nothing to play, more of it the later the
// blocks come; voice over a noise floor never holds any, so what is left without it is what
// the blocks held, however late they came.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/PcmAnalysis.h"
#include "support/SpokenPhrase.h"

namespace {

using intercom::test::Pcm;

int usage() {
    std::fprintf(stderr,
                 "usage: pcm_tool phrase TEXT OUT LEAD_MS TAIL_MS | match REFERENCE HEARD | "
                 "voiced FILE | onset FILE\n");
    return 2;
}

int phrase(const std::string& text, const char* out, long leadMs, long tailMs) {
    std::string error;
    const Pcm spoken = intercom::test::speakPhrase(text, "en", &error);
    if (spoken.empty()) {
        std::fprintf(stderr, "pcm_tool: no phrase: %s\n", error.c_str());
        return 1;
    }
    Pcm samples(static_cast<std::size_t>(leadMs) * 8, 0);
    samples.insert(samples.end(), spoken.begin(), spoken.end());
    samples.resize(samples.size() + static_cast<std::size_t>(tailMs) * 8, 0);
    const auto bytes = intercom::test::pcmBytes(intercom::test::withNoiseFloor(samples));
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file ? 0 : 1;
}

int match(const char* referencePath, const char* heardPath) {
    Pcm reference = intercom::test::readPcm(referencePath);
    const Pcm heard = intercom::test::withoutDigitalSilence(intercom::test::readPcm(heardPath));
    // The reference's silences say nothing about the voice: compare the spoken part.
    const auto loud = [](std::int16_t sample) { return std::abs(sample) > 300; };
    const auto first = std::find_if(reference.begin(), reference.end(), loud);
    const auto last = std::find_if(reference.rbegin(), reference.rend(), loud).base();
    if (first >= last) {
        std::fprintf(stderr, "pcm_tool: the reference is silent\n");
        return 1;
    }
    const Pcm spoken(first, last);
    const auto window = std::chrono::milliseconds(heard.size() / 8 + spoken.size() / 8);
    const auto result = intercom::test::envelopeCorrelation(spoken, heard, window);
    std::printf("%.3f %td\n", result.correlation, result.lag);
    return 0;
}

int voiced(const char* path) {
    std::printf("%zu\n",
                intercom::test::withoutDigitalSilence(intercom::test::readPcm(path)).size());
    return 0;
}

int onset(const char* path) {
    const auto found = intercom::test::clickOnset(std::filesystem::path(path));
    if (!found) {
        std::fprintf(stderr, "pcm_tool: no click in %s\n", path);
        return 1;
    }
    std::printf("%zu\n", *found);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "phrase" && argc == 6) {
        return phrase(argv[2], argv[3], std::atol(argv[4]), std::atol(argv[5]));
    }
    if (command == "match" && argc == 4) {
        return match(argv[2], argv[3]);
    }
    if (command == "voiced" && argc == 3) {
        return voiced(argv[2]);
    }
    if (command == "onset" && argc == 3) {
        return onset(argv[2]);
    }
    return usage();
}
