// Voice through the real server: a spoken phrase fed to the client's microphone reaches a
// listening connection as the same speech, and speech from that connection comes out of the
// client's speaker.
#include <QApplication>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "../ui/UiTestSupport.h"
#include "HomePageFixture.h"
#include "SignallingClient.h"
#include "audio/AudioTool.h"
#include "platform/audio/VoiceFormat.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/SpeakChannelButton.h"

namespace intercom::test {
namespace {

using namespace std::chrono_literals;
using Samples = std::vector<double>;

// The phrase as 8 kHz mono samples, from espeak-ng's 22.05 kHz wave.
Samples spokenPhrase() {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(
        ::popen("espeak-ng -s 150 --stdout 'one two three, testing the intercom'", "r"), ::pclose);
    Bytes wave;
    std::uint8_t chunk[4096];
    std::size_t n = 0;
    while (pipe && (n = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) {
        wave.insert(wave.end(), chunk, chunk + n);
    }
    Samples source;
    for (std::size_t i = 44; i + 1 < wave.size(); i += 2) {
        source.push_back(static_cast<std::int16_t>(wave[i] | (wave[i + 1] << 8)));
    }
    Samples phrase;
    for (double t = 0; t + 1 < static_cast<double>(source.size());
         t += 22050.0 / VoiceFormat::kSampleRate) {
        const auto i = static_cast<std::size_t>(t);
        phrase.push_back(source[i] + (source[i + 1] - source[i]) * (t - static_cast<double>(i)));
    }
    return phrase;
}

Bytes pcmOf(const Samples& samples) {
    Bytes pcm;
    for (const double sample : samples) {
        const auto value = static_cast<std::int16_t>(std::clamp(sample, -32768.0, 32767.0));
        pcm.push_back(static_cast<std::uint8_t>(value & 0xFF));
        pcm.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }
    return pcm;
}

Samples samplesOf(const Bytes& pcm) {
    Samples samples;
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
        samples.push_back(static_cast<std::int16_t>(pcm[i] | (pcm[i + 1] << 8)));
    }
    return samples;
}

// Loudness per 20 ms.
Samples envelope(const Samples& samples) {
    Samples out;
    for (std::size_t i = 0; i + 160 <= samples.size(); i += 160) {
        double sum = 0;
        for (std::size_t k = i; k < i + 160; ++k) {
            sum += samples[k] * samples[k];
        }
        out.push_back(std::sqrt(sum / 160));
    }
    return out;
}

// The best correlation of the phrase's envelope with any stretch of the heard envelope.
double envelopeCorrelation(const Samples& phrase, const Samples& heard) {
    const Samples a = envelope(phrase);
    const Samples b = envelope(heard);
    double best = -1;
    for (std::size_t lag = 0; lag + a.size() <= b.size(); ++lag) {
        double ma = 0, mb = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            ma += a[i];
            mb += b[lag + i];
        }
        ma /= static_cast<double>(a.size());
        mb /= static_cast<double>(a.size());
        double sab = 0, saa = 0, sbb = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            sab += (a[i] - ma) * (b[lag + i] - mb);
            saa += (a[i] - ma) * (a[i] - ma);
            sbb += (b[lag + i] - mb) * (b[lag + i] - mb);
        }
        if (saa > 0 && sbb > 0) {
            best = std::max(best, sab / std::sqrt(saa * sbb));
        }
    }
    return best;
}

class HomePageVoice : public HomePageFixture {
  protected:
    void SetUp() override {
        HomePageFixture::SetUp();
        phrase_ = spokenPhrase();
        ASSERT_GT(phrase_.size(), VoiceFormat::samplesFor(1s)) << "espeak-ng gave no speech";
        Samples microphone(VoiceFormat::samplesFor(500ms), 0.0);
        microphone.insert(microphone.end(), phrase_.begin(), phrase_.end());
        microphone.resize(microphone.size() + VoiceFormat::samplesFor(2s), 0.0);
        std::ofstream(audioFolder_.path() / "microphone.raw", std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(pcmOf(microphone).data()),
                   static_cast<std::streamsize>(microphone.size() * 2));
        open(server_->signallingPort());
        listener_ = std::make_unique<SignallingClient>(server_->signallingPort());
        ASSERT_EQ(listener_->bind(2, 1), 1);
        ASSERT_EQ(listener_->request(Message::channelListenerTap,
                                     listenerFrame(Message::channelListenerTap, 2, 1, 101, true)),
                  1);
        bystander_ = std::make_unique<SignallingClient>(server_->signallingPort());
        ASSERT_EQ(bystander_->bind(3, 1), 1);
    }

    // Everything the listener hears while the client talks for the whole phrase.
    Samples hear() {
        Bytes pcm;
        const std::size_t blocks =
            (phrase_.size() + VoiceFormat::samplesFor(500ms)) / VoiceFormat::kBlockSamples + 10;
        std::size_t heard = 0;
        waitUntil(
            [&] {
                while (auto frame = listener_->next(std::chrono::milliseconds(10))) {
                    if (frame->type == Message::audioData) {
                        const Bytes decoded = AudioTool::shared().decode(frame->payload);
                        pcm.insert(pcm.end(), decoded.begin(), decoded.end());
                        ++heard;
                    }
                }
                return heard >= blocks;
            },
            20000);
        return samplesOf(pcm);
    }
    bool bystanderHeardVoice() {
        for (const Frame& frame : bystander_->drain()) {
            if (frame.type == Message::audioData) {
                return true;
            }
        }
        return false;
    }

    Samples phrase_;
    std::unique_ptr<SignallingClient> listener_;
    std::unique_ptr<SignallingClient> bystander_;
};

TEST_F(HomePageVoice, ChannelTalkReachesTheListenerOnly) {
    click(button<SpeakChannelButton>(page_->speakPanel(), 0));
    doubleClick(page_->floatingBtn());
    EXPECT_GT(envelopeCorrelation(phrase_, hear()), 0.9);
    EXPECT_FALSE(bystanderHeardVoice());
}

TEST_F(HomePageVoice, SmallBroadcastReachesTheListenerOnly) {
    doubleClick(page_->smallSpeakerBtn());
    EXPECT_GT(envelopeCorrelation(phrase_, hear()), 0.9);
    EXPECT_FALSE(bystanderHeardVoice());
}

TEST_F(HomePageVoice, BigBroadcastReachesTheScene) {
    doubleClick(page_->bigSpeakerBtn());
    EXPECT_GT(envelopeCorrelation(phrase_, hear()), 0.9);
    EXPECT_TRUE(bystanderHeardVoice());
}

TEST_F(HomePageVoice, VoiceOfAListenedGroupComesOutOfTheSpeaker) {
    click(button<ListenChannelButton>(page_->listenPanel(), 0));
    std::shared_ptr<AudioQueuePlayer> player;
    ASSERT_TRUE(waitUntil([&] { return (player = page_->console()->player()) != nullptr; }));
    listener_->drain();
    // Paced like a talker, one block each 40 ms, but never ahead of the speaker: a block waits
    // while two do in the player, as a talker's would behind a sound card whose clock runs
    // slow. A disk driver that a loaded machine slows would otherwise leave a backlog, which
    // the player rightly drops. Two sends are at least 20 ms apart, so that a block on its
    // way is in the player before the next is weighed.
    Bytes pcm = pcmOf(phrase_);
    constexpr std::size_t kBlock = VoiceFormat::kBlockBytes;
    pcm.resize(pcm.size() / kBlock * kBlock);
    const auto start = std::chrono::steady_clock::now();
    auto sent = start;
    for (std::size_t offset = 0, block = 0; offset < pcm.size(); offset += kBlock, ++block) {
        const auto due = std::max(start + VoiceFormat::kBlockDuration * static_cast<long>(block),
                                  sent + std::chrono::milliseconds(20));
        waitUntil(
            [&] {
                return std::chrono::steady_clock::now() >= due &&
                       player->waitingBlocks().size() <= 1;
            },
            1000);
        const Bytes amr = AudioTool::shared().encode(std::span(pcm).subspan(offset, kBlock));
        listener_->send(audioFrame(Message::audioChannels, 2, 1, {101}, amr));
        sent = std::chrono::steady_clock::now();
    }
    // Once the speaker file holds half a second more than when the last block went out, that
    // block has been played.
    const auto speakerFile = audioFolder_.path() / "speaker.raw";
    std::error_code error;
    const auto sentBy = std::filesystem::file_size(speakerFile, error);
    waitUntil(
        [&] {
            return std::filesystem::file_size(speakerFile, error) >=
                   sentBy + VoiceFormat::bytesFor(500ms);
        },
        10000);
    const Bytes speaker = [&] {
        std::ifstream in(speakerFile, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    EXPECT_GT(envelopeCorrelation(phrase_, samplesOf(speaker)), 0.9);
}

}  // namespace
}  // namespace intercom::test
