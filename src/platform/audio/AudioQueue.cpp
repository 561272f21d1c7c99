#include "platform/audio/AudioQueue.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audio/SdlAudio.h"
#include "platform/audio/VoiceFormat.h"

namespace intercom {

struct AudioQueue::OwnedBuffer {
    AudioQueueBuffer buffer;
    std::vector<std::uint8_t> storage;
};

std::unique_ptr<AudioQueue> AudioQueue::newInput(AudioQueueCallback callback, void* userData) {
    return create(true, callback, userData);
}

std::unique_ptr<AudioQueue> AudioQueue::newOutput(AudioQueueCallback callback, void* userData) {
    return create(false, callback, userData);
}

std::unique_ptr<AudioQueue> AudioQueue::create(bool isInput, AudioQueueCallback callback,
                                               void* userData) {
    if (callback == nullptr) {
        return nullptr;
    }
    std::unique_ptr<AudioQueue> queue(new AudioQueue(isInput, callback, userData));
    SDL_AudioSpec spec{};
    spec.freq = VoiceFormat::kSampleRate;
    spec.format = AUDIO_S16SYS;
    spec.channels = 1;
    // One SDL period is one voice block, so a full buffer is handed over per period.
    spec.samples = VoiceFormat::kBlockSamples;
    spec.callback = &AudioQueue::deviceCallback;
    spec.userdata = queue.get();
    queue->device_ = sdlaudio::open(isInput, spec);
    if (queue->device_ == 0) {
        return nullptr;
    }
    return queue;
}

AudioQueue::AudioQueue(bool isInput, AudioQueueCallback callback, void* userData)
    : isInput_(isInput), callback_(callback), userData_(userData) {}

AudioQueue::~AudioQueue() {
    if (device_ != 0) {
        sdlaudio::close(device_);
    }
}

AudioQueueBuffer* AudioQueue::allocateBuffer(std::uint32_t capacity) {
    if (capacity == 0) {
        return nullptr;
    }
    auto owned = std::make_unique<OwnedBuffer>();
    owned->storage.assign(capacity, 0);
    owned->buffer.mAudioData = owned->storage.data();
    owned->buffer.mAudioDataBytesCapacity = capacity;
    auto* buffer = &owned->buffer;
    std::lock_guard lock(mutex_);
    buffers_.push_back(std::move(owned));
    return buffer;
}

bool AudioQueue::enqueueBuffer(AudioQueueBuffer* buffer) {
    std::lock_guard lock(mutex_);
    const bool owned = std::any_of(buffers_.begin(), buffers_.end(),
                                   [buffer](const auto& own) { return &own->buffer == buffer; });
    if (!owned) {
        return false;
    }
    if (isInput_) {
        buffer->mAudioDataByteSize = 0;
    } else if (buffer->mAudioDataByteSize == 0 ||
               buffer->mAudioDataByteSize > buffer->mAudioDataBytesCapacity) {
        return false;
    }
    enqueued_.push_back(buffer);
    return true;
}

bool AudioQueue::start() {
    sdlaudio::pause(device_, false);
    return sdlaudio::status(device_) == SDL_AUDIO_PLAYING;
}

bool AudioQueue::stop() {
    // Pausing takes the device's lock, which SDL holds around every callback.
    sdlaudio::pause(device_, true);
    return sdlaudio::status(device_) == SDL_AUDIO_PAUSED;
}

bool AudioQueue::setVolume(float volume) {
    if (isInput_ || !(volume >= 0.0F && volume <= 1.0F)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    volume_ = volume;
    return true;
}

void AudioQueue::deviceCallback(void* userData, std::uint8_t* stream, int length) {
    auto* queue = static_cast<AudioQueue*>(userData);
    const auto bytes = static_cast<std::size_t>(std::max(length, 0));
    if (queue->isInput_) {
        queue->capture(stream, bytes);
    } else {
        queue->render(stream, bytes);
    }
}

void AudioQueue::capture(const std::uint8_t* stream, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        AudioQueueBuffer* buffer = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (enqueued_.empty()) {
                // Nobody is ready for the samples: they are lost, as with an overrun.
                return;
            }
            buffer = enqueued_.front();
        }
        const std::size_t room = buffer->mAudioDataBytesCapacity - buffer->mAudioDataByteSize;
        const std::size_t count = std::min(room, length - done);
        std::memcpy(static_cast<std::uint8_t*>(buffer->mAudioData) + buffer->mAudioDataByteSize,
                    stream + done, count);
        buffer->mAudioDataByteSize += static_cast<std::uint32_t>(count);
        done += count;
        if (buffer->mAudioDataByteSize == buffer->mAudioDataBytesCapacity) {
            {
                std::lock_guard lock(mutex_);
                enqueued_.pop_front();
            }
            callback_(userData_, this, buffer);
        }
    }
}

void AudioQueue::render(std::uint8_t* stream, std::size_t length) {
    // What the last period took has now left SDL's buffer for the device: only now are those
    // buffers played, as an output queue reports them. Handing them back when SDL copied them
    // would let all three wait ahead of SDL's own buffer, one period more than the design.
    std::vector<AudioQueueBuffer*> played;
    played.swap(copied_);
    for (AudioQueueBuffer* buffer : played) {
        callback_(userData_, this, buffer);
    }
    std::size_t done = 0;
    while (done < length) {
        AudioQueueBuffer* buffer = nullptr;
        std::size_t offset = 0;
        float volume = 1.0F;
        {
            std::lock_guard lock(mutex_);
            if (enqueued_.empty()) {
                break;
            }
            buffer = enqueued_.front();
            offset = headOffset_;
            volume = volume_;
        }
        const std::size_t count =
            std::min<std::size_t>(buffer->mAudioDataByteSize - offset, length - done);
        const auto* source = static_cast<const std::uint8_t*>(buffer->mAudioData) + offset;
        std::memcpy(stream + done, source, count);
        if (volume < 1.0F) {
            for (std::size_t i = 0; i + 1 < count; i += 2) {
                std::int16_t sample;
                std::memcpy(&sample, stream + done + i, 2);
                sample = static_cast<std::int16_t>(std::lround(sample * volume));
                std::memcpy(stream + done + i, &sample, 2);
            }
        }
        done += count;
        std::lock_guard lock(mutex_);
        headOffset_ = offset + count;
        if (headOffset_ >= buffer->mAudioDataByteSize) {
            enqueued_.pop_front();
            headOffset_ = 0;
            copied_.push_back(buffer);
        }
    }
    // The queue ran dry: the device plays silence rather than stale samples.
    std::memset(stream + done, 0, length - done);
}

}  // namespace intercom
