#include "audio/AudioQueueRecorder.h"

#include "audio/Beep.h"
#include "model/Setting.h"
#include "platform/dispatch/GlobalQueue.h"

namespace intercom {

std::shared_ptr<AudioQueueRecorder> AudioQueueRecorder::create(CaptureCallback captureCallback) {
    return std::shared_ptr<AudioQueueRecorder>(new AudioQueueRecorder(std::move(captureCallback)));
}

std::shared_ptr<AudioQueueRecorder> AudioQueueRecorder::create(std::unique_ptr<AudioQueue> queue,
                                                               CaptureCallback captureCallback) {
    return std::shared_ptr<AudioQueueRecorder>(
        new AudioQueueRecorder(std::move(queue), std::move(captureCallback)));
}

AudioQueueRecorder::AudioQueueRecorder(CaptureCallback captureCallback)
    : AudioQueueRecorder(AudioQueue::newInput(&AudioQueueRecorder::audioQueueInputCallback, this),
                         std::move(captureCallback)) {}

AudioQueueRecorder::AudioQueueRecorder(std::unique_ptr<AudioQueue> queue,
                                       CaptureCallback captureCallback)
    : mQueue_(std::move(queue)), captureCallback_(std::move(captureCallback)) {
    if (!mQueue_) {
        return;
    }
    for (std::size_t i = 0; i < kBufferCount; ++i) {
        AudioQueueBuffer* buffer = mQueue_->allocateBuffer(kBufferBytes);
        // A buffer that cannot be made is left out; the others still circulate.
        if (buffer == nullptr) {
            continue;
        }
        mBuffers_.push_back(buffer);
        mQueue_->enqueueBuffer(buffer);
    }
}

AudioQueueRecorder::~AudioQueueRecorder() {
    // The callback reaches into this recorder: the device goes before anything else does.
    mQueue_.reset();
}

void AudioQueueRecorder::audioQueueInputCallback(void* userData, AudioQueue* queue,
                                                 AudioQueueBuffer* buffer) {
    if (userData == nullptr) {
        return;
    }
    static_cast<AudioQueueRecorder*>(userData)->handleInputBuffer(queue, buffer);
}

bool AudioQueueRecorder::start() {
    if (!mQueue_ || !mQueue_->start()) {
        return false;
    }
    startTimer();
    if (!Setting::load().isSidetoneBlocking) {
        startSidetone();
    }
    Beep::shared().playSpeakingBeep();
    return true;
}

void AudioQueueRecorder::stop() {
    if (mQueue_) {
        mQueue_->stop();
    }
    std::shared_ptr<dispatch::TimerSource> stopped;
    {
        std::lock_guard lock(syncLock_);
        stopped = std::move(timer_);
        timer_ = nullptr;
    }
    // Cancelling waits for a running tick, which takes the lock: never under it.
    if (stopped) {
        stopped->cancel();
    }
    stopSidetone();
    Beep::shared().dropPlayer();
}

bool AudioQueueRecorder::isOpen() const {
    return mQueue_ != nullptr;
}

std::size_t AudioQueueRecorder::bufferCount() const {
    return mBuffers_.size();
}

bool AudioQueueRecorder::isDraining() const {
    std::lock_guard lock(syncLock_);
    return timer_ != nullptr;
}

bool AudioQueueRecorder::hasSidetone() const {
    std::lock_guard lock(syncLock_);
    return stPlayer_ != nullptr;
}

std::size_t AudioQueueRecorder::cachedBytes() const {
    std::lock_guard lock(syncLock_);
    return cachedAudioData_.size();
}

void AudioQueueRecorder::startTimer() {
    std::lock_guard lock(syncLock_);
    if (timer_) {
        return;
    }
    timer_ = dispatch::TimerSource::create();
    timer_->schedule(dispatch::Clock::now(), kDrainInterval, dispatch::Duration::zero());
    // Holds the recorder until the timer is cancelled.
    timer_->setEventHandler([self = shared_from_this()] { self->drainCachedAudio(); });
    timer_->resume();
}

void AudioQueueRecorder::handleInputBuffer(AudioQueue* queue, AudioQueueBuffer* buffer) {
    const auto gain = Setting::load().audioEnhance;
    if (gain != 0) {
        applyGain(*buffer, gain);
    }
    const auto* audio = static_cast<const std::uint8_t*>(buffer->mAudioData);
    Bytes block(audio, audio + buffer->mAudioDataByteSize);
    std::shared_ptr<AudioQueuePlayer> sidetone;
    {
        std::lock_guard lock(syncLock_);
        cachedAudioData_.insert(cachedAudioData_.end(), block.begin(), block.end());
        sidetone = stPlayer_;
    }
    // The two locks are never held together.
    if (sidetone) {
        sidetone->append(std::move(block));
        releaseSidetone(std::move(sidetone));
    }
    queue->enqueueBuffer(buffer);
}

void AudioQueueRecorder::releaseSidetone(std::shared_ptr<AudioQueuePlayer> sidetone) {
    {
        std::lock_guard lock(syncLock_);
        if (stPlayer_ == sidetone) {
            // Still held by the recorder: this is not the last reference.
            sidetone.reset();
            return;
        }
    }
    // Switched off meanwhile, so this may be the last reference. Dropping it here would pause
    // its output device and start the thread that closes it, all on the capture thread, which
    // has to keep up with the microphone.
    dispatch::globalQueue().async([retired = std::move(sidetone)] {});
}

void AudioQueueRecorder::drainCachedAudio() {
    std::lock_guard lock(syncLock_);
    // Every whole block goes out, oldest first: a late tick, a stalled device or a sound card
    // whose clock runs faster than ours would otherwise leave blocks behind for the rest of
    // the talk, each adding 40 ms to everything said after it.
    std::size_t sent = 0;
    while (cachedAudioData_.size() - sent >= kBufferBytes) {
        const auto amr =
            AudioTool::shared().encode(std::span(cachedAudioData_).subspan(sent, kBufferBytes));
        if (captureCallback_) {
            captureCallback_(amr);
        }
        sent += kBufferBytes;
    }
    cachedAudioData_.erase(cachedAudioData_.begin(),
                           cachedAudioData_.begin() + static_cast<std::ptrdiff_t>(sent));
}

void AudioQueueRecorder::startSidetone() {
    if (!mQueue_) {
        return;
    }
    {
        std::lock_guard lock(syncLock_);
        if (stPlayer_) {
            return;
        }
    }
    // Opening a device takes a while: not under the lock that the audio thread waits on.
    auto player = std::make_shared<AudioQueuePlayer>();
    {
        std::lock_guard lock(syncLock_);
        if (stPlayer_) {
            return;
        }
        stPlayer_ = player;
    }
    player->start();
}

void AudioQueueRecorder::stopSidetone() {
    std::shared_ptr<AudioQueuePlayer> player;
    {
        std::lock_guard lock(syncLock_);
        player = std::move(stPlayer_);
        stPlayer_ = nullptr;
    }
    if (player) {
        player->stop();
    }
}

}  // namespace intercom
