#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioTool.h"
#include "platform/audio/AudioQueue.h"
#include "platform/dispatch/TimerSource.h"

namespace intercom {

// Captures the user's speech while they talk: the input queue fills 40 ms buffers, the
// input gain is applied, the PCM is cached, and every 40 ms a drain timer encodes each whole
// 640-byte block waiting and hands each 64 bytes of AMR to the capture callback. Started once,
// stopped once, then dropped by its owner.
class AudioQueueRecorder : public std::enable_shared_from_this<AudioQueueRecorder> {
  public:
    using CaptureCallback = std::function<void(const Bytes& amr)>;

    static constexpr std::uint32_t kBufferBytes = 640;
    static constexpr std::size_t kBufferCount = 3;
    static constexpr auto kDrainInterval = std::chrono::milliseconds(40);

    // Opens the input queue with its three buffers; capture does not run yet. A recorder
    // whose queue cannot be opened has no `mQueue` and never captures.
    static std::shared_ptr<AudioQueueRecorder> create();
    ~AudioQueueRecorder();
    AudioQueueRecorder(const AudioQueueRecorder&) = delete;
    AudioQueueRecorder& operator=(const AudioQueueRecorder&) = delete;

    // Starts capture; `captureCallback` receives each block on the drain timer's thread,
    // under the recorder's lock, so it must not call back into the recorder. False, and
    // nothing started, when the microphone cannot be opened or started.
    bool start(CaptureCallback captureCallback);
    // Stops capture, the drain timer, the sidetone and whatever prompt tone is held.
    void stop();
    void startTimer();
    void drainCachedAudio();
    void startSidetone();
    void stopSidetone();
    void handleInputBuffer(AudioQueue* queue, AudioQueueBuffer* buffer);

    static void audioQueueInputCallback(void* userData, AudioQueue* queue,
                                        AudioQueueBuffer* buffer);

    std::unique_ptr<AudioQueue> mQueue;
    std::vector<AudioQueueBuffer*> mBuffers;
    // The fields below are shared between the owner's threads, the audio thread and the
    // drain timer: each is read and written under `syncLock` only.
    std::shared_ptr<dispatch::TimerSource> timer;
    CaptureCallback captureCallback;
    Bytes cachedAudioData;
    std::shared_ptr<AudioQueuePlayer> stPlayer;
    std::mutex syncLock;

  private:
    AudioQueueRecorder();
    void releaseSidetone(std::shared_ptr<AudioQueuePlayer> sidetone);
};

}  // namespace intercom
