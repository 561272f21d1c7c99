#include "audio/AudioQueueRecorder.h"

#include "audio/Beep.h"
#include "model/Setting.h"
#include "platform/dispatch/GlobalQueue.h"

namespace intercom {

std::shared_ptr<AudioQueueRecorder> AudioQueueRecorder::create() {
    std::shared_ptr<AudioQueueRecorder> recorder(new AudioQueueRecorder());
    return recorder;
}

AudioQueueRecorder::AudioQueueRecorder() {
    mQueue = AudioQueue::newInput(&AudioQueueRecorder::audioQueueInputCallback, this);
    if (!mQueue) {
        return;
    }
    for (std::size_t i = 0; i < kBufferCount; ++i) {
        AudioQueueBuffer* buffer = mQueue->allocateBuffer(kBufferBytes);
        // A buffer that cannot be made is left out; the others still circulate.
        if (buffer == nullptr) {
            continue;
        }
        mBuffers.push_back(buffer);
        mQueue->enqueueBuffer(buffer);
    }
}

AudioQueueRecorder::~AudioQueueRecorder() {
    // The callback reaches into this recorder: the device goes before anything else does.
    mQueue.reset();
}

void AudioQueueRecorder::audioQueueInputCallback(void* userData, AudioQueue* queue,
                                                 AudioQueueBuffer* buffer) {
    if (userData == nullptr) {
        return;
    }
    static_cast<AudioQueueRecorder*>(userData)->handleInputBuffer(queue, buffer);
}

bool AudioQueueRecorder::start(CaptureCallback callback) {
    if (!mQueue || !mQueue->start()) {
        return false;
    }
    {
        std::lock_guard lock(syncLock);
        captureCallback = std::move(callback);
    }
    startTimer();
    if (!Setting::load().isSidetoneBlocking) {
        startSidetone();
    }
    Beep::shared().playSpeakingBeep();
    return true;
}

void AudioQueueRecorder::stop() {
    if (mQueue) {
        mQueue->stop();
    }
    std::shared_ptr<dispatch::TimerSource> stopped;
    {
        std::lock_guard lock(syncLock);
        stopped = std::move(timer);
        timer = nullptr;
    }
    // Cancelling waits for a running tick, which takes the lock: never under it.
    if (stopped) {
        stopped->cancel();
    }
    stopSidetone();
    Beep::shared().dropPlayer();
}

void AudioQueueRecorder::startTimer() {
    std::lock_guard lock(syncLock);
    if (timer) {
        return;
    }
    timer = dispatch::TimerSource::create();
    timer->schedule(dispatch::Clock::now(), kDrainInterval, dispatch::Duration::zero());
    // Holds the recorder until the timer is cancelled.
    timer->setEventHandler([self = shared_from_this()] { self->drainCachedAudio(); });
    timer->resume();
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
        std::lock_guard lock(syncLock);
        cachedAudioData.insert(cachedAudioData.end(), block.begin(), block.end());
        sidetone = stPlayer;
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
        std::lock_guard lock(syncLock);
        if (stPlayer == sidetone) {
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
    std::lock_guard lock(syncLock);
    // Every whole block goes out, oldest first: a late tick, a stalled device or a sound card
    // whose clock runs faster than ours would otherwise leave blocks behind for the rest of
    // the talk, each adding 40 ms to everything said after it.
    std::size_t sent = 0;
    while (cachedAudioData.size() - sent >= kBufferBytes) {
        const auto amr =
            AudioTool::shared().encode(std::span(cachedAudioData).subspan(sent, kBufferBytes));
        if (captureCallback) {
            captureCallback(amr);
        }
        sent += kBufferBytes;
    }
    cachedAudioData.erase(cachedAudioData.begin(),
                          cachedAudioData.begin() + static_cast<std::ptrdiff_t>(sent));
}

void AudioQueueRecorder::startSidetone() {
    if (!mQueue) {
        return;
    }
    {
        std::lock_guard lock(syncLock);
        if (stPlayer) {
            return;
        }
    }
    // Opening a device takes a while: not under the lock that the audio thread waits on.
    auto player = std::make_shared<AudioQueuePlayer>();
    {
        std::lock_guard lock(syncLock);
        if (stPlayer) {
            return;
        }
        stPlayer = player;
    }
    if (player->mQueue) {
        player->mQueue->start();
    }
}

void AudioQueueRecorder::stopSidetone() {
    std::shared_ptr<AudioQueuePlayer> player;
    {
        std::lock_guard lock(syncLock);
        player = std::move(stPlayer);
        stPlayer = nullptr;
    }
    if (player && player->mQueue) {
        player->mQueue->stop();
    }
}

}  // namespace intercom
