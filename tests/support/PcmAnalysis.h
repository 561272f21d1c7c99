#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "platform/Bytes.h"
#include "support/SpokenPhrase.h"

namespace intercom::test {

// Raw little-endian PCM from a file or from bytes (a disk-driver speaker file, decoded
// voice); a trailing odd byte is left out. A missing file reads as empty.
Pcm readPcm(const std::filesystem::path& path);
Pcm pcmFromBytes(std::span<const std::uint8_t> bytes);
Bytes pcmBytes(std::span<const std::int16_t> samples);

// The envelope of a signal is its loudness per 10 ms (the RMS of each 80 samples).
inline constexpr std::size_t kEnvelopeStep = 80;

struct EnvelopeMatch {
    // Pearson correlation of the two envelopes at the best lag, from -1 to 1; 0 when either
    // is flat (silence).
    double correlation = 0;
    // How many samples `signal` runs behind `reference` at that lag (negative: ahead), a
    // multiple of kEnvelopeStep.
    std::ptrdiff_t lag = 0;
};

// How well `signal` follows the loudness of `reference`, at the alignment within `window`
// either way that matches best. Compared over the whole reference: where the shifted signal
// has no samples it counts as silence, so a signal that holds only part of the phrase
// scores low.
EnvelopeMatch envelopeCorrelation(std::span<const std::int16_t> reference,
                                  std::span<const std::int16_t> signal,
                                  std::chrono::milliseconds window);

// `samples` over a faint noise floor (a fixed pseudo-random hiss of at most `amplitude`), so
// that none of it is digital silence, not even after the voice codec.
Pcm withNoiseFloor(std::span<const std::int16_t> samples, std::int16_t amplitude = 256);

// `pcm` without its digital silence: every run of at least `minimumRun` zero samples taken
// out. A player puts such silence out while it has nothing to play, so what is left of voice
// over a noise floor does not depend on when its blocks arrived, only on what they held.
Pcm withoutDigitalSilence(std::span<const std::int16_t> pcm,
                          std::size_t minimumRun = kEnvelopeStep);

// Where a click begins: the index of the first sample whose magnitude reaches `threshold`;
// none when no sample does.
std::optional<std::size_t> clickOnset(std::span<const std::int16_t> pcm,
                                      std::int16_t threshold = 8000);
std::optional<std::size_t> clickOnset(const std::filesystem::path& file,
                                      std::int16_t threshold = 8000);

}  // namespace intercom::test
