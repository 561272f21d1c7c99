#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace intercom {

// Plays one wave file through its own SDL output device. Safe to use from any thread.
class AudioPlayer : public std::enable_shared_from_this<AudioPlayer> {
  public:
    // Called on the global queue when a playing ends: `successfully` is true when it
    // played to its end (after its last loop), false when it was stopped before.
    using FinishedCallback = std::function<void(AudioPlayer& player, bool successfully)>;

    // Null when the file cannot be read as a wave file.
    static std::shared_ptr<AudioPlayer> create(const std::string& path);
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    void setFinishedCallback(FinishedCallback callback);
    // How often the sound repeats after its first playing; -1 repeats until stopped.
    void setNumberOfLoops(int loops);
    // Opens the output device; false when there is none.
    bool prepareToPlay();
    // Plays from where it stands (from the start after an end); false without a device.
    bool play();
    void stop();
    bool isPlaying() const;
    const std::string& path() const { return path_; }

  private:
    AudioPlayer(std::string path, std::uint8_t* samples, std::uint32_t length);
    static void deviceCallback(void* userData, std::uint8_t* stream, int length);
    void render(std::uint8_t* stream, std::size_t length);
    void reportFinished(bool successfully);

    const std::string path_;
    std::uint8_t* const samples_;
    const std::uint32_t length_;
    std::uint8_t silence_ = 0;
    int format_ = 0;
    int frequency_ = 0;
    int channels_ = 0;

    // Serialises the calls of the owners; the audio thread never takes it.
    mutable std::mutex calls_;
    std::uint32_t device_ = 0;
    FinishedCallback finished_;

    // Shared with the audio thread under SDL's device lock.
    std::uint32_t position_ = 0;
    int loops_ = 0;
    int loopsLeft_ = 0;
    bool playing_ = false;
};

}  // namespace intercom
