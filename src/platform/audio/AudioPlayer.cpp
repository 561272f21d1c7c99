#include "platform/audio/AudioPlayer.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/audio/SdlAudio.h"
#include "platform/dispatch/GlobalQueue.h"

namespace intercom {

namespace {

// Holds SDL's lock of an open device, which SDL also holds around every callback.
class DeviceLock {
  public:
    explicit DeviceLock(std::uint32_t device) : device_(device) {
        if (device_ != 0) {
            SDL_LockAudioDevice(device_);
        }
    }
    ~DeviceLock() {
        if (device_ != 0) {
            SDL_UnlockAudioDevice(device_);
        }
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

  private:
    std::uint32_t device_;
};

}  // namespace

std::shared_ptr<AudioPlayer> AudioPlayer::create(const std::string& path) {
    SDL_AudioSpec spec{};
    std::uint8_t* samples = nullptr;
    std::uint32_t length = 0;
    // Reading a wave file needs no audio device, so it works before the subsystem is up.
    if (!sdlaudio::loadWAV(path.c_str(), spec, samples, length)) {
        return nullptr;
    }
    std::shared_ptr<AudioPlayer> player(new AudioPlayer(path, samples, length));
    player->format_ = spec.format;
    player->frequency_ = spec.freq;
    player->channels_ = spec.channels;
    player->silence_ = spec.format == AUDIO_U8 ? 0x80 : 0x00;
    return player;
}

AudioPlayer::AudioPlayer(std::string path, std::uint8_t* samples, std::uint32_t length)
    : path_(std::move(path)), samples_(samples), length_(length) {}

AudioPlayer::~AudioPlayer() {
    if (device_ != 0) {
        sdlaudio::close(device_);
    }
    SDL_FreeWAV(samples_);
}

void AudioPlayer::setFinishedCallback(FinishedCallback callback) {
    std::lock_guard calls(calls_);
    finished_ = std::move(callback);
}

void AudioPlayer::setNumberOfLoops(int loops) {
    std::lock_guard calls(calls_);
    const DeviceLock device(device_);
    loops_ = std::max(loops, -1);
}

bool AudioPlayer::prepareToPlay() {
    std::lock_guard calls(calls_);
    if (device_ != 0) {
        return true;
    }
    SDL_AudioSpec spec{};
    spec.freq = frequency_;
    spec.format = static_cast<SDL_AudioFormat>(format_);
    spec.channels = static_cast<std::uint8_t>(channels_);
    spec.samples = 512;
    spec.callback = &AudioPlayer::deviceCallback;
    spec.userdata = this;
    device_ = sdlaudio::open(false, spec);
    return device_ != 0;
}

bool AudioPlayer::play() {
    if (!prepareToPlay()) {
        return false;
    }
    std::lock_guard calls(calls_);
    {
        const DeviceLock device(device_);
        if (!playing_) {
            playing_ = true;
            loopsLeft_ = loops_;
        }
    }
    sdlaudio::pause(device_, false);
    return true;
}

void AudioPlayer::stop() {
    bool wasPlaying = false;
    {
        std::lock_guard calls(calls_);
        if (device_ == 0) {
            return;
        }
        {
            const DeviceLock device(device_);
            wasPlaying = playing_;
            playing_ = false;
        }
        sdlaudio::pause(device_, true);
    }
    if (wasPlaying) {
        std::weak_ptr<AudioPlayer> weak = weak_from_this();
        dispatch::globalQueue().async([weak] {
            if (auto self = weak.lock()) {
                self->reportFinished(false);
            }
        });
    }
}

bool AudioPlayer::isPlaying() const {
    std::lock_guard calls(calls_);
    const DeviceLock device(device_);
    return playing_;
}

void AudioPlayer::deviceCallback(void* userData, std::uint8_t* stream, int length) {
    static_cast<AudioPlayer*>(userData)->render(stream, static_cast<std::size_t>(length));
}

void AudioPlayer::render(std::uint8_t* stream, std::size_t length) {
    std::size_t done = 0;
    while (playing_ && done < length) {
        if (position_ >= length_) {
            if (loopsLeft_ == 0) {
                playing_ = false;
                position_ = 0;
                // The owner may drop the player from the callback, which closes this
                // device: that must not happen on the device's own thread.
                std::weak_ptr<AudioPlayer> weak = weak_from_this();
                dispatch::globalQueue().async([weak] {
                    if (auto self = weak.lock()) {
                        self->reportFinished(true);
                    }
                });
                break;
            }
            if (loopsLeft_ > 0) {
                --loopsLeft_;
            }
            position_ = 0;
            if (length_ == 0) {
                break;
            }
        }
        const std::size_t count = std::min<std::size_t>(length_ - position_, length - done);
        std::memcpy(stream + done, samples_ + position_, count);
        position_ += static_cast<std::uint32_t>(count);
        done += count;
    }
    std::memset(stream + done, silence_, length - done);
}

void AudioPlayer::reportFinished(bool successfully) {
    FinishedCallback callback;
    {
        std::lock_guard calls(calls_);
        callback = finished_;
        if (successfully) {
            bool idle = false;
            {
                const DeviceLock device(device_);
                idle = !playing_;
            }
            // Idle until the next play, rather than feeding silence to the device. `calls_`
            // keeps a play from slipping in between.
            if (idle) {
                sdlaudio::pause(device_, true);
            }
        }
    }
    if (callback) {
        callback(*this, successfully);
    }
}

}  // namespace intercom
