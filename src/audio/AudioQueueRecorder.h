#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioTool.h"
#include "platform/audio/AudioQueue.h"
#include "platform/audio/VoiceFormat.h"
#include "platform/dispatch/TimerSource.h"

namespace intercom {

// Captures the user's speech while they talk: the input queue fills 40 ms buffers, the
// input gain is applied, the PCM is cached, and every 40 ms a drain timer encodes each whole
// 640-byte block waiting and hands each 64 bytes of AMR to the capture callback. Started once,
// stopped once, then dropped by its owner.
class AudioQueueRecorder : public std::enable_shared_from_this<AudioQueueRecorder> {
  public:
    using CaptureCallback = std::function<void(const Bytes& amr)>;

    static constexpr std::uint32_t kBufferBytes = VoiceFormat::kBlockBytes;
    static constexpr std::size_t kBufferCount = 3;
    static constexpr auto kDrainInterval = VoiceFormat::kBlockDuration;

    // Opens the input queue with its three buffers; capture does not run yet. Once it runs,
    // `captureCallback` receives each block on the drain timer's thread, under the
    // recorder's lock, so it must not call back into the recorder. A recorder whose queue
    // cannot be opened never captures.
    static std::shared_ptr<AudioQueueRecorder> create(CaptureCallback captureCallback);
    // The same around `queue`, already opened by the caller, whose callback must hand each
    // buffer to `handleInputBuffer`: this is how a microphone on a clock of the caller's own
    // reaches the recorder.
    static std::shared_ptr<AudioQueueRecorder> create(std::unique_ptr<AudioQueue> queue,
                                                      CaptureCallback captureCallback);
    ~AudioQueueRecorder();
    AudioQueueRecorder(const AudioQueueRecorder&) = delete;
    AudioQueueRecorder& operator=(const AudioQueueRecorder&) = delete;

    // Starts capture, the drain timer and, unless it is blocked, the sidetone. False, and
    // nothing started, when the microphone cannot be opened or started.
    bool start();
    // Stops capture, the drain timer, the sidetone and whatever prompt tone is held.
    void stop();
    void startSidetone();
    void stopSidetone();

    bool isOpen() const;
    // The buffers in circulation: three, fewer when one could not be made, none without a
    // queue.
    std::size_t bufferCount() const;
    // Whether the drain timer runs.
    bool isDraining() const;
    bool hasSidetone() const;
    // Captured bytes not yet handed over; each tick leaves less than a block.
    std::size_t cachedBytes() const;

    // What the input queue's callback runs: applies the gain to a filled buffer of `queue`,
    // caches it, passes it to the sidetone and gives it back to `queue`.
    void handleInputBuffer(AudioQueue* queue, AudioQueueBuffer* buffer);
    // What each tick of the drain timer runs; a caller that feeds `handleInputBuffer` on a
    // clock of its own may tick in its place.
    void drainCachedAudio();

  private:
    AudioQueueRecorder(std::unique_ptr<AudioQueue> queue, CaptureCallback captureCallback);
    explicit AudioQueueRecorder(CaptureCallback captureCallback);
    static void audioQueueInputCallback(void* userData, AudioQueue* queue,
                                        AudioQueueBuffer* buffer);
    void startTimer();
    void releaseSidetone(std::shared_ptr<AudioQueuePlayer> sidetone);

    std::unique_ptr<AudioQueue> mQueue_;
    std::vector<AudioQueueBuffer*> mBuffers_;
    // Set once, at creation; the drain timer calls it under `syncLock_`.
    const CaptureCallback captureCallback_;
    // The fields below are shared between the owner's threads, the audio thread and the
    // drain timer: each is read and written under `syncLock_` only.
    std::shared_ptr<dispatch::TimerSource> timer_;
    Bytes cachedAudioData_;
    std::shared_ptr<AudioQueuePlayer> stPlayer_;
    mutable std::mutex syncLock_;
};

}  // namespace intercom
