#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "audio/AudioTool.h"
#include "platform/audio/AudioQueue.h"

namespace intercom {

// Plays blocks of PCM without gaps: whenever no block waits, a buffer of silence goes out,
// so the output never runs dry and a block that arrives is heard after at most the buffers
// already queued. Its owner starts `mQueue` after creating it and stops it before dropping it.
class AudioQueuePlayer {
  public:
    static constexpr std::uint32_t kBufferBytes = 640;
    static constexpr std::size_t kBufferCount = 3;
    static constexpr std::size_t kMaxVoiceBlockBytes = 64;
    // At most 300 ms of voice waits (4800 bytes at 8000 Hz, 16 bits): when blocks come faster
    // than they play (two talkers at once, a burst after a network stall), the oldest go, so
    // what is heard stays live instead of falling further and further behind.
    static constexpr std::size_t kMaxWaitingBytes = 300 * 8000 * 2 / 1000;

    // Opens the output queue and primes it with three buffers of silence; a player whose
    // queue cannot be opened has no `mQueue` and plays nothing.
    AudioQueuePlayer();
    ~AudioQueuePlayer();
    AudioQueuePlayer(const AudioQueuePlayer&) = delete;
    AudioQueuePlayer& operator=(const AudioQueuePlayer&) = delete;

    // Decodes one received voice block (the first 64 bytes at most) and queues its PCM. A
    // block too short to hold one whole frame queues nothing.
    void play(std::span<const std::uint8_t> amr);
    // Queues one block of PCM, dropping the oldest waiting blocks beyond 300 ms.
    void append(Bytes pcm);
    // Refills a buffer that has been played with the oldest waiting block, or silence.
    void handleOutputBuffer(AudioQueueBuffer* buffer);

    static void audioQueueOutputCallback(void* userData, AudioQueue* queue,
                                         AudioQueueBuffer* buffer);

    std::unique_ptr<AudioQueue> mQueue;
    std::vector<AudioQueueBuffer*> mBuffers;
    // PCM blocks waiting to be played, oldest first, each at most one buffer long, under
    // `syncLock`.
    std::deque<Bytes> dataList;
    std::mutex syncLock;

  private:
    void appendLocked(Bytes pcm);
};

}  // namespace intercom
