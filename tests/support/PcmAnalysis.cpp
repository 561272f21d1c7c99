#include "support/PcmAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace intercom::test {

namespace {

std::vector<double> envelopeOf(std::span<const std::int16_t> pcm) {
    std::vector<double> envelope;
    for (std::size_t start = 0; start + kEnvelopeStep <= pcm.size(); start += kEnvelopeStep) {
        double energy = 0;
        for (std::size_t i = start; i < start + kEnvelopeStep; ++i) {
            energy += static_cast<double>(pcm[i]) * pcm[i];
        }
        envelope.push_back(std::sqrt(energy / kEnvelopeStep));
    }
    return envelope;
}

// Pearson correlation of `reference` with `signal` shifted by `lag` steps, over the
// reference's length; the signal's missing steps are silence.
double correlationAt(const std::vector<double>& reference, const std::vector<double>& signal,
                     std::ptrdiff_t lag) {
    const auto n = static_cast<double>(reference.size());
    double sumX = 0, sumY = 0, sumXX = 0, sumYY = 0, sumXY = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const auto j = static_cast<std::ptrdiff_t>(i) + lag;
        const double x = reference[i];
        const double y = (j >= 0 && j < static_cast<std::ptrdiff_t>(signal.size()))
                             ? signal[static_cast<std::size_t>(j)]
                             : 0.0;
        sumX += x;
        sumY += y;
        sumXX += x * x;
        sumYY += y * y;
        sumXY += x * y;
    }
    const double varX = sumXX - sumX * sumX / n;
    const double varY = sumYY - sumY * sumY / n;
    if (varX <= 0 || varY <= 0) {
        return 0;
    }
    return (sumXY - sumX * sumY / n) / std::sqrt(varX * varY);
}

}  // namespace

Pcm pcmFromBytes(std::span<const std::uint8_t> bytes) {
    Pcm samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return samples;
}

Pcm readPcm(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return pcmFromBytes(bytes);
}

Bytes pcmBytes(std::span<const std::int16_t> samples) {
    Bytes bytes;
    bytes.reserve(samples.size() * 2);
    for (const auto sample : samples) {
        const auto value = static_cast<std::uint16_t>(sample);
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    return bytes;
}

EnvelopeMatch envelopeCorrelation(std::span<const std::int16_t> reference,
                                  std::span<const std::int16_t> signal,
                                  std::chrono::milliseconds window) {
    const auto referenceEnvelope = envelopeOf(reference);
    const auto signalEnvelope = envelopeOf(signal);
    if (referenceEnvelope.empty()) {
        return {};
    }
    // Ties go to the smallest shift, so a flat signal reports no lag.
    EnvelopeMatch best{correlationAt(referenceEnvelope, signalEnvelope, 0), 0};
    // 8 samples per millisecond; the lag moves in whole envelope steps.
    const auto maxLag = static_cast<std::ptrdiff_t>(window.count() * 8 / kEnvelopeStep);
    for (std::ptrdiff_t step = 1; step <= 2 * maxLag; ++step) {
        const std::ptrdiff_t lag = (step % 2 == 1) ? (step + 1) / 2 : -(step / 2);
        const double correlation = correlationAt(referenceEnvelope, signalEnvelope, lag);
        if (correlation > best.correlation) {
            best = {correlation, lag * static_cast<std::ptrdiff_t>(kEnvelopeStep)};
        }
    }
    return best;
}

Pcm withNoiseFloor(std::span<const std::int16_t> samples, std::int16_t amplitude) {
    Pcm out(samples.begin(), samples.end());
    std::uint32_t state = 12345;
    const auto span = 2 * static_cast<std::uint32_t>(amplitude) + 1;
    for (auto& sample : out) {
        state = state * 1664525U + 1013904223U;
        const int noise = static_cast<int>((state >> 16) % span) - amplitude;
        sample = static_cast<std::int16_t>(std::clamp(sample + noise, -32768, 32767));
    }
    return out;
}

Pcm withoutDigitalSilence(std::span<const std::int16_t> pcm, std::size_t minimumRun) {
    Pcm kept;
    kept.reserve(pcm.size());
    std::size_t at = 0;
    while (at < pcm.size()) {
        std::size_t run = 0;
        while (at + run < pcm.size() && pcm[at + run] == 0) {
            ++run;
        }
        if (run < minimumRun) {
            kept.insert(kept.end(), pcm.begin() + static_cast<std::ptrdiff_t>(at),
                        pcm.begin() + static_cast<std::ptrdiff_t>(at + run));
        }
        at += run;
        if (at < pcm.size()) {
            kept.push_back(pcm[at++]);
        }
    }
    return kept;
}

std::optional<std::size_t> clickOnset(std::span<const std::int16_t> pcm, std::int16_t threshold) {
    const int limit = std::abs(static_cast<int>(threshold));
    const auto found = std::find_if(pcm.begin(), pcm.end(), [limit](std::int16_t sample) {
        return std::abs(static_cast<int>(sample)) >= limit;
    });
    if (found == pcm.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - pcm.begin());
}

std::optional<std::size_t> clickOnset(const std::filesystem::path& file, std::int16_t threshold) {
    return clickOnset(readPcm(file), threshold);
}

}  // namespace intercom::test
