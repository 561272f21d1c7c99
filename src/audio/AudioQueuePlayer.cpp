#include "audio/AudioQueuePlayer.h"

#include <algorithm>
#include <cstring>

namespace intercom {

AudioQueuePlayer::AudioQueuePlayer() {
    mQueue = AudioQueue::newOutput(&AudioQueuePlayer::audioQueueOutputCallback, this);
    if (!mQueue) {
        return;
    }
    if (!mQueue->setVolume(1.0F)) {
        return;
    }
    for (std::size_t i = 0; i < kBufferCount; ++i) {
        AudioQueueBuffer* buffer = mQueue->allocateBuffer(kBufferBytes);
        // A buffer that cannot be made is left out; the others still circulate.
        if (buffer == nullptr) {
            continue;
        }
        buffer->mAudioDataByteSize = kBufferBytes;
        std::memset(buffer->mAudioData, 0, kBufferBytes);
        mBuffers.push_back(buffer);
        mQueue->enqueueBuffer(buffer);
    }
}

AudioQueuePlayer::~AudioQueuePlayer() {
    // The callback reaches into this player, `mQueue` included: it must have run for the
    // last time before anything is torn down, and stopping waits for a running callback.
    if (mQueue) {
        mQueue->stop();
    }
    mQueue.reset();
}

void AudioQueuePlayer::audioQueueOutputCallback(void* userData, AudioQueue* /*queue*/,
                                                AudioQueueBuffer* buffer) {
    if (userData == nullptr) {
        return;
    }
    static_cast<AudioQueuePlayer*>(userData)->handleOutputBuffer(buffer);
}

void AudioQueuePlayer::handleOutputBuffer(AudioQueueBuffer* buffer) {
    std::lock_guard lock(syncLock);
    auto* audio = static_cast<std::uint8_t*>(buffer->mAudioData);
    Bytes block;
    if (!dataList.empty()) {
        block = std::move(dataList.front());
        dataList.pop_front();
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
    if (mQueue) {
        mQueue->enqueueBuffer(buffer);
    }
}

void AudioQueuePlayer::play(std::span<const std::uint8_t> amr) {
    std::lock_guard lock(syncLock);
    auto pcm = AudioTool::shared().decode(amr.first(std::min(amr.size(), kMaxVoiceBlockBytes)));
    appendLocked(std::move(pcm));
}

void AudioQueuePlayer::append(Bytes pcm) {
    std::lock_guard lock(syncLock);
    appendLocked(std::move(pcm));
}

void AudioQueuePlayer::appendLocked(Bytes pcm) {
    // Under one frame decodes to nothing: queueing nothing keeps every buffer circulating.
    if (pcm.empty()) {
        return;
    }
    dataList.push_back(std::move(pcm));
    std::size_t waiting = 0;
    for (const auto& block : dataList) {
        waiting += block.size();
    }
    while (waiting > kMaxWaitingBytes) {
        waiting -= dataList.front().size();
        dataList.pop_front();
    }
}

void AudioQueuePlayer::catchUpLocked(std::size_t playedBytes) {
    if (catchingUp_) {
        if (!dataList.empty()) {
            dataList.pop_front();
        }
        catchingUp_ = !dataList.empty();
        return;
    }
    if (dataList.size() < 2) {
        behindBytes_ = 0;
        return;
    }
    behindBytes_ += playedBytes;
    if (behindBytes_ >= kCatchUpAfterBytes) {
        behindBytes_ = 0;
        dataList.pop_front();
        catchingUp_ = !dataList.empty();
    }
}

}  // namespace intercom
