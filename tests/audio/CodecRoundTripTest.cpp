#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <string>

#include "AudioTestSupport.h"
#include "audio/AudioTool.h"
#include "platform/audio/VoiceFormat.h"

using intercom::AudioTool;
using intercom::Bytes;
using intercom::VoiceFormat;
using namespace intercom::test;

namespace {

// A spoken phrase, made at test time: espeak-ng speaks it, sox turns it into 8000 Hz mono
// signed 16-bit raw PCM, the format of the whole voice pipeline.
Bytes spokenPhrase(const TempDir& folder) {
    const auto wav = folder.path() / "phrase.wav";
    const auto raw = folder.path() / "phrase.raw";
    const std::string command = "espeak-ng -v en -s 150 -w '" + wav.string() +
                                "' 'Channel two, please come to the front desk.' && sox '" +
                                wav.string() + "' -t raw -r 8000 -c 1 -e signed-integer -b 16 '" +
                                raw.string() + "'";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    return readFile(raw);
}

// The loudness of each 20 ms frame.
std::vector<double> envelope(const std::vector<std::int16_t>& samples, std::size_t offset) {
    std::vector<double> frames;
    for (std::size_t at = offset; at + 160 <= samples.size(); at += 160) {
        double energy = 0;
        for (std::size_t i = at; i < at + 160; ++i) {
            energy += static_cast<double>(samples[i]) * samples[i];
        }
        frames.push_back(std::sqrt(energy / 160));
    }
    return frames;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    const double meanA = std::accumulate(a.begin(), a.begin() + static_cast<long>(n), 0.0) / n;
    const double meanB = std::accumulate(b.begin(), b.begin() + static_cast<long>(n), 0.0) / n;
    double ab = 0;
    double aa = 0;
    double bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return ab / std::sqrt(aa * bb);
}

// The signal-to-noise ratio of `decoded` against `original` when delayed by `lag` samples.
double snr(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded,
           std::size_t lag) {
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i + lag < decoded.size() && i < original.size(); ++i) {
        const double s = original[i];
        const double d = decoded[i + lag];
        signal += s * s;
        noise += (s - d) * (s - d);
    }
    return 10 * std::log10(signal / noise);
}

}  // namespace

// The codec path, block by block as the recorder and the player use it, gives back
// recognisably the same speech. Measures: the correlation of the 20 ms loudness envelopes
// (which catches lost, repeated or reordered frames) and the waveform SNR at the codec's
// delay (which catches wrong byte order, wrong sample format and noise).
TEST(CodecRoundTrip, SpokenPhraseComesBackRecognisably) {
    const TempDir folder;
    Bytes phrase = spokenPhrase(folder);
    ASSERT_GT(phrase.size(), VoiceFormat::bytesFor(std::chrono::seconds(1)))
        << "espeak-ng and sox must make at least a second";
    constexpr std::size_t kBlock = VoiceFormat::kBlockBytes;
    phrase.resize(phrase.size() / kBlock * kBlock);

    Bytes decoded;
    for (std::size_t at = 0; at < phrase.size(); at += kBlock) {
        const Bytes amr =
            AudioTool::shared().encode(std::span<const std::uint8_t>(phrase).subspan(at, kBlock));
        ASSERT_EQ(amr.size(), 64U);
        const Bytes pcm = AudioTool::shared().decode(amr);
        decoded.insert(decoded.end(), pcm.begin(), pcm.end());
    }
    ASSERT_EQ(decoded.size(), phrase.size());

    const auto original = samplesOf(phrase);
    const auto output = samplesOf(decoded);
    double bestSnr = -100;
    std::size_t lag = 0;
    for (std::size_t candidate = 0; candidate <= VoiceFormat::kBlockSamples; ++candidate) {
        const double value = snr(original, output, candidate);
        if (value > bestSnr) {
            bestSnr = value;
            lag = candidate;
        }
    }
    const double envelopes = correlation(envelope(original, 0), envelope(output, lag));
    RecordProperty("envelope_correlation", std::to_string(envelopes));
    RecordProperty("snr_db", std::to_string(bestSnr));
    RecordProperty("delay_samples", std::to_string(lag));
    std::cout << "envelope correlation " << envelopes << ", SNR " << bestSnr << " dB at a delay of "
              << lag << " samples\n";
    EXPECT_GT(envelopes, 0.95);
    EXPECT_GT(bestSnr, 3.0) << "CELP keeps the sound, not the waveform: about 5 dB is normal";
}
