#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/audio/AudioPlayer.h"
#include "platform/dispatch/Queue.h"

namespace intercom {

// The prompt tones, each played only while its setting is on. `player` holds the tone last
// started until a user stops and drops it; the operations and those users run on several
// threads, so `player` is only ever read or replaced as a whole under a short mutex that
// guards the pointer alone: no player is called, made or destroyed while it is held.
class Beep : public std::enable_shared_from_this<Beep> {
  public:
    static constexpr std::chrono::seconds kSpeakingReplayDelay{15};

    static Beep& shared();

    // Delayed replays of the speaking tone go on `replayQueue` after `replayDelay`.
    Beep(dispatch::Queue& replayQueue, dispatch::Duration replayDelay);

    std::shared_ptr<AudioPlayer> player() const;
    void setPlayer(std::shared_ptr<AudioPlayer> player);
    // A user's stop and drop in one step: stops whatever tone `player` holds at that moment
    // and leaves it absent.
    void dropPlayer();

    void playSpeakingBeep();
    void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully);
    void playCallingRing();
    void playReconnectBeep();

  private:
    static std::shared_ptr<AudioPlayer> loadTone(std::string_view resource);
    // Stops whatever tone is held and starts `resource` in its place.
    void replaceWithTone(std::string_view resource, int loops);

    dispatch::Queue& replayQueue_;
    const dispatch::Duration replayDelay_;
    mutable std::mutex playerMutex_;
    std::shared_ptr<AudioPlayer> player_;
};

}  // namespace intercom
