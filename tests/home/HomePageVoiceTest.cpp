// Voice through the real server: a spoken phrase fed to the client's microphone reaches a
// listening connection as the same speech, and speech from that connection comes out of the
// client's speaker.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>

#include "../ui/UiTestSupport.h"
#include "HomePageFixture.h"
#include "SignallingClient.h"
#include "audio/AudioTool.h"
#include "platform/audio/VoiceFormat.h"
#include "support/PcmAnalysis.h"
#include "support/SpokenPhrase.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/SpeakChannelButton.h"

namespace intercom::test {
namespace {

using namespace std::chrono_literals;

// How closely the heard voice follows the phrase's loudness, at the best alignment.
double correlationWith(const Pcm& phrase, const Pcm& heard) {
    const auto window = std::chrono::milliseconds((heard.size() + phrase.size()) / 8);
    return envelopeCorrelation(phrase, heard, window).correlation;
}

class HomePageVoice : public HomePageFixture {
  protected:
    void SetUp() override {
        HomePageFixture::SetUp();
        std::string error;
        phrase_ = speakPhrase("one two three, testing the intercom", "en", &error);
        ASSERT_GT(phrase_.size(), VoiceFormat::samplesFor(1s)) << "no speech: " << error;
        Pcm microphone(VoiceFormat::samplesFor(500ms), 0);
        microphone.insert(microphone.end(), phrase_.begin(), phrase_.end());
        microphone.resize(microphone.size() + VoiceFormat::samplesFor(2s), 0);
        const Bytes bytes = pcmBytes(microphone);
        std::ofstream(audioFolder_.path() / "microphone.raw", std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
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
    Pcm hear() {
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
        return pcmFromBytes(pcm);
    }
    bool bystanderHeardVoice() {
        for (const Frame& frame : bystander_->drain()) {
            if (frame.type == Message::audioData) {
                return true;
            }
        }
        return false;
    }

    Pcm phrase_;
    std::unique_ptr<SignallingClient> listener_;
    std::unique_ptr<SignallingClient> bystander_;
};

TEST_F(HomePageVoice, ChannelTalkReachesTheListenerOnly) {
    click(button<SpeakChannelButton>(page_->speakPanel(), 0));
    doubleClick(page_->floatingBtn());
    EXPECT_GT(correlationWith(phrase_, hear()), 0.9);
    EXPECT_FALSE(bystanderHeardVoice());
}

TEST_F(HomePageVoice, SmallBroadcastReachesTheListenerOnly) {
    doubleClick(page_->smallSpeakerBtn());
    EXPECT_GT(correlationWith(phrase_, hear()), 0.9);
    EXPECT_FALSE(bystanderHeardVoice());
}

TEST_F(HomePageVoice, BigBroadcastReachesTheScene) {
    doubleClick(page_->bigSpeakerBtn());
    EXPECT_GT(correlationWith(phrase_, hear()), 0.9);
    EXPECT_TRUE(bystanderHeardVoice());
}

TEST_F(HomePageVoice, VoiceOfAListenedGroupComesOutOfTheSpeaker) {
    click(button<ListenChannelButton>(page_->listenPanel(), 0));
    std::shared_ptr<AudioQueuePlayer> player;
    ASSERT_TRUE(waitUntil([&] { return (player = page_->console()->player()) != nullptr; }));
    listener_->drain();
    // Paced like a talker, one block each 40 ms, but never ahead of the speaker: a block waits
    // while two do in the player, as a talker's would behind a sound card whose clock runs
    // slow, so that no backlog builds up for the player to drop. Two sends are at least 20 ms
    // apart, so that a block on its way is in the player before the next is weighed.
    Bytes pcm = pcmBytes(withNoiseFloor(phrase_));
    constexpr std::size_t kBlock = VoiceFormat::kBlockBytes;
    pcm.resize(pcm.size() / kBlock * kBlock);
    const auto start = std::chrono::steady_clock::now();
    auto sent = start;
    for (std::size_t offset = 0, block = 0; offset < pcm.size(); offset += kBlock, ++block) {
        const auto due = std::max(start + VoiceFormat::kBlockDuration * static_cast<long>(block),
                                  sent + std::chrono::milliseconds(20));
        waitUntil([&] {
            return std::chrono::steady_clock::now() >= due && player->waitingBlocks().size() <= 1;
        });
        const Bytes amr = AudioTool::shared().encode(std::span(pcm).subspan(offset, kBlock));
        listener_->send(audioFrame(Message::audioChannels, 2, 1, {101}, amr));
        sent = std::chrono::steady_clock::now();
    }
    // A busy machine delays blocks on their way and slows the speaker's clock: the player
    // then fills the gaps with silence. The voice over its noise floor is what is left
    // without that silence, however the blocks came; it is all there once as many samples
    // as were sent have come out.
    const auto speaker = audioFolder_.path() / "speaker.raw";
    Pcm heard;
    waitUntil(
        [&] { return (heard = withoutDigitalSilence(readPcm(speaker))).size() >= pcm.size() / 2; });
    EXPECT_GT(correlationWith(phrase_, heard), 0.9);
}

}  // namespace
}  // namespace intercom::test
