#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "audio/AudioTool.h"
#include "platform/audio/AudioQueue.h"
#include "platform/audio/VoiceFormat.h"

namespace intercom {

// Plays blocks of PCM without gaps: whenever no block waits, a buffer of silence goes out,
// so the output never runs dry and a block that arrives is heard after at most the buffers
// already queued. Its owner starts it after creating it and stops it before dropping it.
class AudioQueuePlayer {
  public:
    static constexpr std::uint32_t kBufferBytes = VoiceFormat::kBlockBytes;
    static constexpr std::size_t kBufferCount = 3;
    static constexpr std::size_t kMaxVoiceBlockBytes = 64;
    // At most 300 ms of voice waits: when blocks come faster than they play (two talkers at
    // once, a burst after a network stall), the oldest go, so what is heard never falls
    // further and further behind.
    static constexpr std::size_t kMaxWaitingBytes =
        VoiceFormat::bytesFor(std::chrono::milliseconds(300));
    // What still waits once a buffer has been refilled is heard that much later than the
    // design's depth, the three buffers ahead of the speaker. Voice at its pace leaves blocks
    // there for a moment when it comes unevenly, and for good when a block came late (its
    // buffer went out as silence, and every block after it waits one buffer more) or when the
    // sender's sound card runs faster than ours (a block more every 20 s at three blocks a
    // minute): up to two blocks that stand are kept, as dropping one cuts 40 ms out of what
    // is said. Three or more that have stood through a whole second of playing are the
    // backlog of a burst (a network stall, a capture that starts with a lump, two talkers at
    // once), which would delay everything after it for the rest of the talk. As much as stood
    // throughout that second then goes at once, the oldest first: what is left is what the
    // pace itself needs, so the voice plays on at the design's depth and never below it.
    static constexpr std::size_t kBacklogBytes = 3 * kBufferBytes;
    static constexpr std::size_t kBacklogLastsBytes =
        VoiceFormat::bytesFor(std::chrono::seconds(1));

    // Opens the output queue and primes it with three buffers of silence; a player whose
    // queue cannot be opened plays nothing.
    AudioQueuePlayer();
    // Primes `queue`, already opened by the caller, in the same way. Its callback must hand
    // each buffer to `handleOutputBuffer`: this is how a speaker on a clock of the caller's
    // own plays what the player is given. A null queue plays nothing.
    explicit AudioQueuePlayer(std::unique_ptr<AudioQueue> queue);
    ~AudioQueuePlayer();
    AudioQueuePlayer(const AudioQueuePlayer&) = delete;
    AudioQueuePlayer& operator=(const AudioQueuePlayer&) = delete;

    // Starts the output; false when there is none or it does not start.
    bool start();
    // Stops the output at once; what waits stays queued.
    void stop();
    bool isOpen() const;
    // The buffers in circulation: three, fewer when one could not be made, none without a
    // queue.
    std::size_t bufferCount() const;

    // Decodes one received voice block (the first 64 bytes at most) and queues its PCM. A
    // block too short to hold one whole frame queues nothing.
    void play(std::span<const std::uint8_t> amr);
    // Queues one block of PCM, dropping the oldest waiting blocks beyond 300 ms.
    void append(Bytes pcm);
    // A copy of the blocks waiting to be played, oldest first.
    std::vector<Bytes> waitingBlocks() const;
    // Refills a buffer that has been played with the oldest waiting block, or silence, and
    // drops a backlog that has lasted.
    void handleOutputBuffer(AudioQueueBuffer* buffer);

  private:
    static void audioQueueOutputCallback(void* userData, AudioQueue* queue,
                                         AudioQueueBuffer* buffer);
    void appendLocked(Bytes pcm);
    std::size_t waitingBytesLocked() const;
    void catchUpLocked(std::size_t playedBytes);

    std::unique_ptr<AudioQueue> mQueue_;
    std::vector<AudioQueueBuffer*> mBuffers_;
    // PCM blocks waiting to be played, oldest first, each at most one buffer long, under
    // `syncLock_`.
    std::deque<Bytes> dataList_;
    mutable std::mutex syncLock_;
    // Under `syncLock_`: the bytes played since every refill began leaving a backlog waiting,
    // and the smallest of those backlogs.
    std::size_t backlogPlayedBytes_ = 0;
    std::size_t backlogFloorBytes_ = 0;
};

}  // namespace intercom
