#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "audio/AudioTool.h"
#include "platform/audio/VoiceFormat.h"
#include "support/PcmAnalysis.h"
#include "support/SpokenPhrase.h"
#include "support/TempDir.h"

using intercom::AudioTool;
using intercom::Bytes;
using intercom::VoiceFormat;
using namespace intercom::test;
using namespace std::chrono_literals;

namespace {

// The phrase through the codec, block by block as the recorder and the player pass it.
Pcm throughCodec(const Pcm& phrase) {
    const Bytes pcm = pcmBytes(phrase);
    Bytes decoded;
    constexpr std::size_t kBlock = VoiceFormat::kBlockBytes;
    for (std::size_t at = 0; at + kBlock <= pcm.size(); at += kBlock) {
        const Bytes amr =
            AudioTool::shared().encode(std::span<const std::uint8_t>(pcm).subspan(at, kBlock));
        const Bytes block = AudioTool::shared().decode(amr);
        decoded.insert(decoded.end(), block.begin(), block.end());
    }
    return pcmFromBytes(decoded);
}

TEST(PcmAnalysis, FindsTheSpokenPhraseAfterTheCodecAndADelay) {
    std::string error;
    // Quotes and a leading dash reach espeak-ng as text: no shell stands in between.
    const Pcm phrase = speakPhrase("-Don't 'panic', channel two is on air.", "en", &error);
    ASSERT_GT(phrase.size(), 8000U) << error << ": at least a second of speech expected";

    // 300 ms of silence ahead, as a listener's speaker file starts before the voice arrives.
    Pcm heard(2400, 0);
    const Pcm decoded = throughCodec(phrase);
    heard.insert(heard.end(), decoded.begin(), decoded.end());
    const auto match = envelopeCorrelation(phrase, heard, 1000ms);
    std::cout << "codec and delay: correlation " << match.correlation << " at lag " << match.lag
              << "\n";
    EXPECT_GT(match.correlation, 0.9);
    EXPECT_GE(match.lag, 2400);
    EXPECT_LE(match.lag, 2400 + 2 * static_cast<std::ptrdiff_t>(kEnvelopeStep));

    // Outside the window the phrase is not found; half of it, or another phrase, scores low.
    EXPECT_LT(envelopeCorrelation(phrase, heard, 100ms).correlation, 0.5);
    const Pcm half(decoded.begin(), decoded.begin() + static_cast<long>(decoded.size() / 2));
    EXPECT_LT(envelopeCorrelation(phrase, half, 1000ms).correlation, 0.8);
    const Pcm other = speakPhrase("Seven, eight, nine. Stop here.", "en", &error);
    ASSERT_FALSE(other.empty()) << error;
    EXPECT_LT(envelopeCorrelation(phrase, other, 1000ms).correlation, 0.8);
    EXPECT_EQ(envelopeCorrelation(phrase, Pcm(phrase.size(), 0), 1000ms).correlation, 0);
}

// A player that runs dry between late blocks puts out digital silence. Taken out, what is
// left is the voice as decoded, its pauses kept by its noise floor: as close to the phrase
// as if every block had come in time.
TEST(PcmAnalysis, TheVoiceOverANoiseFloorOutlivesThePlayersSilence) {
    std::string error;
    const Pcm phrase = speakPhrase("One, two. Three.", "en", &error);
    ASSERT_FALSE(phrase.empty()) << error;
    const Pcm floored = withNoiseFloor(phrase);
    EXPECT_EQ(withoutDigitalSilence(floored), floored);
    const Pcm decoded = throughCodec(floored);
    Pcm played(1000, 0);
    std::size_t gaps = 0;
    for (std::size_t at = 0; at < decoded.size(); at += 320) {
        const auto end = std::min(at + 320, decoded.size());
        played.insert(played.end(), decoded.begin() + static_cast<long>(at),
                      decoded.begin() + static_cast<long>(end));
        const std::size_t gap = (at / 320 % 3) * 320;
        played.resize(played.size() + gap, 0);
        gaps += gap > 0;
    }
    const Pcm heard = withoutDigitalSilence(played);
    // Only a zero or two at the edge of a block can go with a gap.
    EXPECT_LE(decoded.size() - heard.size(), 4 * gaps);
    const auto window = std::chrono::milliseconds(played.size() / 8);
    EXPECT_GT(envelopeCorrelation(phrase, heard, window).correlation, 0.95);
    EXPECT_LT(envelopeCorrelation(phrase, played, window).correlation, 0.7);
    const Pcm shortRun = {5, 0, 0, 0, -5};
    EXPECT_EQ(withoutDigitalSilence(shortRun), shortRun);
}

TEST(PcmAnalysis, WritesThePhraseForTheDiskMicrophoneAndFindsAClick) {
    const TempDir folder;
    const auto microphone = folder.path() / "microphone.raw";
    ASSERT_TRUE(writeSpokenPhrase("你好", microphone, "cmn"));
    EXPECT_GT(readPcm(microphone).size(), 2000U);
    EXPECT_FALSE(writeSpokenPhrase("hello", folder.path() / "no" / "such" / "folder.raw"));

    // A quiet hiss with a click at sample 1234, stored as the speaker file would be.
    Pcm speaker(4000);
    for (std::size_t i = 0; i < speaker.size(); ++i) {
        speaker[i] = static_cast<std::int16_t>((i * 7919) % 1001) - 500;
    }
    speaker[1234] = -20000;
    speaker[1235] = 30000;
    const auto path = folder.path() / "speaker.raw";
    const Bytes bytes = pcmBytes(speaker);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    EXPECT_EQ(clickOnset(path), 1234U);
    EXPECT_EQ(clickOnset(path, 25000), 1235U);
    EXPECT_EQ(clickOnset(speaker, 31000), std::nullopt);
    EXPECT_EQ(clickOnset(folder.path() / "missing.raw"), std::nullopt);
}

}  // namespace
