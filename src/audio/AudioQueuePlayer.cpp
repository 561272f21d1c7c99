#include "audio/AudioQueuePlayer.h"

#include <algorithm>
#include <cstring>

namespace intercom {

AudioQueuePlayer::AudioQueuePlayer()
    : AudioQueuePlayer(AudioQueue::newOutput(&AudioQueuePlayer::audioQueueOutputCallback, this)) {}

AudioQueuePlayer::AudioQueuePlayer(std::unique_ptr<AudioQueue> queue) : mQueue_(std::move(queue)) {
    if (!mQueue_) {
        return;
    }
    if (!mQueue_->setVolume(1.0F)) {
        return;
    }
    for (std::size_t i = 0; i < kBufferCount; ++i) {
        AudioQueueBuffer* buffer = mQueue_->allocateBuffer(kBufferBytes);
        // A buffer that cannot be made is left out; the others still circulate.
        if (buffer == nullptr) {
            continue;
        }
        buffer->mAudioDataByteSize = kBufferBytes;
        std::memset(buffer->mAudioData, 0, kBufferBytes);
        mBuffers_.push_back(buffer);
        mQueue_->enqueueBuffer(buffer);
    }
}

AudioQueuePlayer::~AudioQueuePlayer() {
    // The callback reaches into this player, `mQueue_` included: it must have run for the
    // last time before anything is torn down, and stopping waits for a running callback.
    stop();
    mQueue_.reset();
}

bool AudioQueuePlayer::start() {
    return mQueue_ && mQueue_->start();
}

void AudioQueuePlayer::stop() {
    if (mQueue_) {
        mQueue_->stop();
    }
}

bool AudioQueuePlayer::isOpen() const {
    return mQueue_ != nullptr;
}

std::size_t AudioQueuePlayer::bufferCount() const {
    return mBuffers_.size();
}

void AudioQueuePlayer::audioQueueOutputCallback(void* userData, AudioQueue* /*queue*/,
                                                AudioQueueBuffer* buffer) {
    if (userData == nullptr) {
        return;
    }
    static_cast<AudioQueuePlayer*>(userData)->handleOutputBuffer(buffer);
}

void AudioQueuePlayer::handleOutputBuffer(AudioQueueBuffer* buffer) {
    std::lock_guard lock(syncLock_);
    auto* audio = static_cast<std::uint8_t*>(buffer->mAudioData);
    Bytes block;
    if (!dataList_.empty()) {
        block = std::move(dataList_.front());
        dataList_.pop_front();
    }
    // An empty block would take the buffer out of circulation, since a queue does not
    // accept a buffer of no bytes: it plays as silence instead.
    if (!block.empty()) {
        const auto count = std::min<std::size_t>(block.size(), buffer->mAudioDataBytesCapacity);
        buffer->mAudioDataByteSize = static_cast<std::uint32_t>(count);
        std::memcpy(audio, block.data(), count);
    } else {
        buffer->mAudioDataByteSize = std::min(kBufferBytes, buffer->mAudioDataBytesCapacity);
        std::memset(audio, 0, buffer->mAudioDataByteSize);
    }
    catchUpLocked(buffer->mAudioDataByteSize);
    if (mQueue_) {
        mQueue_->enqueueBuffer(buffer);
    }
}

void AudioQueuePlayer::play(std::span<const std::uint8_t> amr) {
    std::lock_guard lock(syncLock_);
    auto pcm = AudioTool::shared().decode(amr.first(std::min(amr.size(), kMaxVoiceBlockBytes)));
    appendLocked(std::move(pcm));
}

void AudioQueuePlayer::append(Bytes pcm) {
    std::lock_guard lock(syncLock_);
    appendLocked(std::move(pcm));
}

std::vector<Bytes> AudioQueuePlayer::waitingBlocks() const {
    std::lock_guard lock(syncLock_);
    return {dataList_.begin(), dataList_.end()};
}

void AudioQueuePlayer::appendLocked(Bytes pcm) {
    // Under one frame decodes to nothing: queueing nothing keeps every buffer circulating.
    if (pcm.empty()) {
        return;
    }
    dataList_.push_back(std::move(pcm));
    std::size_t waiting = waitingBytesLocked();
    while (waiting > kMaxWaitingBytes) {
        waiting -= dataList_.front().size();
        dataList_.pop_front();
    }
}

std::size_t AudioQueuePlayer::waitingBytesLocked() const {
    std::size_t waiting = 0;
    for (const auto& block : dataList_) {
        waiting += block.size();
    }
    return waiting;
}

void AudioQueuePlayer::catchUpLocked(std::size_t playedBytes) {
    const std::size_t waiting = waitingBytesLocked();
    if (waiting < kBacklogBytes) {
        backlogPlayedBytes_ = 0;
        return;
    }
    backlogFloorBytes_ = backlogPlayedBytes_ == 0 ? waiting : std::min(backlogFloorBytes_, waiting);
    backlogPlayedBytes_ += playedBytes;
    if (backlogPlayedBytes_ < kBacklogLastsBytes) {
        return;
    }
    // Only what stood at every refill of that second: the rest came ahead of its time with
    // uneven voice, and its buffers would go out as silence without it.
    std::size_t dropped = 0;
    while (!dataList_.empty() && dropped + dataList_.front().size() <= backlogFloorBytes_) {
        dropped += dataList_.front().size();
        dataList_.pop_front();
    }
    backlogPlayedBytes_ = 0;
}

}  // namespace intercom
