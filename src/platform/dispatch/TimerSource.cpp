#include "platform/dispatch/TimerSource.h"

#include "platform/dispatch/GlobalQueue.h"

namespace intercom::dispatch {

std::shared_ptr<TimerSource> TimerSource::create() {
    return std::shared_ptr<TimerSource>(new TimerSource());
}

TimerSource::TimerSource() : timer_(globalQueue().executor()) {}

TimerSource::~TimerSource() {
    std::lock_guard lock(mutex_);
    timer_.cancel();
}

void TimerSource::schedule(Clock::time_point deadline, Duration interval, Duration leeway) {
    std::lock_guard lock(mutex_);
    deadline_ = deadline;
    interval_ = interval;
    leeway_ = leeway;
    if (resumed_ && !cancelled_) {
        armLocked(deadline_);
    }
}

void TimerSource::setEventHandler(Work handler) {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
        handler_ = std::move(handler);
    }
}

void TimerSource::resume() {
    std::lock_guard lock(mutex_);
    if (resumed_ || cancelled_) {
        return;
    }
    resumed_ = true;
    armLocked(deadline_);
}

void TimerSource::cancel() {
    Work released;
    {
        std::unique_lock lock(mutex_);
        cancelled_ = true;
        ++generation_;
        timer_.cancel();
        // The handler often owns its owner; dropping it here breaks that cycle.
        released = std::move(handler_);
        handler_ = nullptr;
        if (handlerThread_ != std::this_thread::get_id()) {
            handlerDone_.wait(lock, [this] { return !handlerThread_; });
        }
    }
}

bool TimerSource::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void TimerSource::armLocked(Clock::time_point deadline) {
    deadline_ = deadline;
    const auto generation = ++generation_;
    timer_.expires_at(deadline);
    std::weak_ptr<TimerSource> weak = weak_from_this();
    timer_.async_wait([weak, generation](const std::error_code& error) {
        if (error) {
            return;
        }
        if (auto self = weak.lock()) {
            self->fire(generation);
        }
    });
}

void TimerSource::fire(std::uint64_t generation) {
    Work handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || generation != generation_) {
            return;
        }
        handler = handler_;
        handlerThread_ = std::this_thread::get_id();
    }
    if (handler) {
        handler();
    }
    // Dropped before `cancel` may return, so that what the handler holds is released by
    // then and not later on this thread.
    handler = nullptr;
    std::lock_guard lock(mutex_);
    handlerThread_.reset();
    handlerDone_.notify_all();
    if (cancelled_ || generation != generation_ || interval_ <= Duration::zero()) {
        return;
    }
    const auto now = Clock::now();
    auto next = deadline_ + interval_;
    if (now > next + leeway_) {
        next += ((now - next) / interval_ + 1) * interval_;
    }
    armLocked(next);
}

}  // namespace intercom::dispatch
