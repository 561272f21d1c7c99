#include "audio/Beep.h"

#include "model/Setting.h"
#include "platform/Bundle.h"
#include "platform/dispatch/GlobalQueue.h"

namespace intercom {

Beep& Beep::shared() {
    // Never released: a delayed replay may still hold it while the process ends.
    static auto* const instance = new std::shared_ptr<Beep>(
        std::make_shared<Beep>(dispatch::globalQueue(), kSpeakingReplayDelay));
    return **instance;
}

Beep::Beep(dispatch::Queue& replayQueue, dispatch::Duration replayDelay)
    : replayQueue_(replayQueue), replayDelay_(replayDelay) {}

std::shared_ptr<AudioPlayer> Beep::player() const {
    std::lock_guard lock(playerMutex_);
    return player_;
}

void Beep::setPlayer(std::shared_ptr<AudioPlayer> player) {
    {
        std::lock_guard lock(playerMutex_);
        player_.swap(player);
    }
    // The replaced tone closes its device here, outside the lock.
}

void Beep::dropPlayer() {
    std::shared_ptr<AudioPlayer> held;
    {
        std::lock_guard lock(playerMutex_);
        held.swap(player_);
    }
    if (held) {
        held->stop();
    }
}

std::shared_ptr<AudioPlayer> Beep::loadTone(std::string_view resource) {
    const auto path = Bundle::pathForResource(resource);
    if (!path) {
        return nullptr;
    }
    return AudioPlayer::create(path->string());
}

void Beep::playSpeakingBeep() {
    if (!Setting::load().isSpeakingBeep) {
        return;
    }
    if (player()) {
        return;
    }
    auto tone = loadTone("talking_bee.wav");
    if (!tone) {
        return;
    }
    {
        // Only into an empty slot: a tone that another thread started meanwhile keeps it.
        std::lock_guard lock(playerMutex_);
        if (player_) {
            return;
        }
        player_ = tone;
    }
    std::weak_ptr<Beep> weak = weak_from_this();
    tone->setFinishedCallback([weak](AudioPlayer& finished, bool successfully) {
        if (auto self = weak.lock()) {
            self->audioPlayerDidFinishPlaying(finished, successfully);
        }
    });
    tone->prepareToPlay();
    tone->play();
}

void Beep::audioPlayerDidFinishPlaying(AudioPlayer& /*player*/, bool successfully) {
    if (!successfully) {
        return;
    }
    replayQueue_.after(replayDelay_, [self = shared_from_this()] {
        if (auto held = self->player()) {
            held->play();
        }
    });
}

void Beep::playCallingRing() {
    if (Setting::load().isCallingRing) {
        replaceWithTone("call_bee.wav", -1);
    }
}

void Beep::playReconnectBeep() {
    if (Setting::load().isReconnectBeep) {
        replaceWithTone("reconnect_bee.wav", 0);
    }
}

void Beep::replaceWithTone(std::string_view resource, int loops) {
    auto tone = loadTone(resource);
    if (!tone) {
        return;
    }
    setPlayer(tone);
    tone->setNumberOfLoops(loops);
    tone->prepareToPlay();
    tone->play();
}

}  // namespace intercom
