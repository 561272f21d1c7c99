#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace intercom {

// One buffer of an audio queue. The queue owns the storage; users fill or read
// `mAudioData` and set `mAudioDataByteSize` (at most the capacity).
struct AudioQueueBuffer {
    void* mAudioData = nullptr;
    std::uint32_t mAudioDataBytesCapacity = 0;
    std::uint32_t mAudioDataByteSize = 0;
};

class AudioQueue;

// Called on the audio thread with a buffer that the queue has filled (input) or finished
// playing (output). The buffer leaves the circulation until it is enqueued again.
using AudioQueueCallback = void (*)(void* userData, AudioQueue* queue, AudioQueueBuffer* buffer);

// An audio queue in the manner of the desktop's audio queues, over an SDL audio device in the
// voice format (`VoiceFormat`) with one 40 ms block per period. Buffers circulate:
// the owner enqueues them, the audio thread fills (input) or plays (output) them in the
// order they were enqueued and hands each back through the callback, an output buffer once
// its samples have left SDL's buffer (one period after SDL took them). An output buffer
// plays for its own byte size; when no buffer is enqueued, the device plays silence.
class AudioQueue {
  public:
    // Null when no device can be opened (no audio driver, no sound server, no card).
    static std::unique_ptr<AudioQueue> newInput(AudioQueueCallback callback, void* userData);
    static std::unique_ptr<AudioQueue> newOutput(AudioQueueCallback callback, void* userData);

    // Closes the device: once it returns, no callback runs any more. It never waits for the
    // device to finish closing, which a stalled driver can put off for good.
    ~AudioQueue();
    AudioQueue(const AudioQueue&) = delete;
    AudioQueue& operator=(const AudioQueue&) = delete;

    // A buffer owned by the queue, valid for the queue's life; null when it cannot be made.
    AudioQueueBuffer* allocateBuffer(std::uint32_t capacity);
    // False for a buffer this queue does not own, or an output buffer of 0 bytes.
    bool enqueueBuffer(AudioQueueBuffer* buffer);
    bool start();
    // Stops at once: when it returns, the callback is not running and will not run again
    // until the next start. Enqueued buffers stay enqueued.
    bool stop();
    // Output volume, 0.0 to 1.0.
    bool setVolume(float volume);

  private:
    struct OwnedBuffer;

    AudioQueue(bool isInput, AudioQueueCallback callback, void* userData);
    static std::unique_ptr<AudioQueue> create(bool isInput, AudioQueueCallback callback,
                                              void* userData);
    static void deviceCallback(void* userData, std::uint8_t* stream, int length);
    void capture(const std::uint8_t* stream, std::size_t length);
    void render(std::uint8_t* stream, std::size_t length);

    const bool isInput_;
    const AudioQueueCallback callback_;
    void* const userData_;
    std::uint32_t device_ = 0;
    std::vector<std::unique_ptr<OwnedBuffer>> buffers_;
    // Output buffers that the last period copied whole into SDL's buffer; audio thread only.
    std::vector<AudioQueueBuffer*> copied_;

    // Touched by the owner's thread and the audio thread; held only for a few pointer
    // moves and never across the callback.
    std::mutex mutex_;
    std::deque<AudioQueueBuffer*> enqueued_;
    std::size_t headOffset_ = 0;
    float volume_ = 1.0F;
};

}  // namespace intercom
