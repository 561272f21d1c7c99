#include "platform/dispatch/RunLoop.h"

namespace intercom::dispatch {

namespace {
thread_local const RunLoop* runningLoop = nullptr;
}

void RunLoop::async(Work work) {
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(work));
    }
    wake_.notify_all();
}

void RunLoop::after(Duration delay, Work work) {
    {
        std::lock_guard lock(mutex_);
        delayed_.emplace(Clock::now() + delay, std::move(work));
    }
    wake_.notify_all();
}

bool RunLoop::isCurrent() const {
    return runningLoop == this;
}

bool RunLoop::runDueWork() {
    std::deque<Work> batch;
    {
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        while (!delayed_.empty() && delayed_.begin()->first <= now) {
            ready_.push_back(std::move(delayed_.begin()->second));
            delayed_.erase(delayed_.begin());
        }
        batch.swap(ready_);
    }
    const RunLoop* outer = runningLoop;
    runningLoop = this;
    for (auto& work : batch) {
        work();
    }
    runningLoop = outer;
    return !batch.empty();
}

bool RunLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        runDueWork();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        if (Clock::now() >= deadline) {
            return false;
        }
        auto wakeAt = deadline;
        if (!delayed_.empty() && delayed_.begin()->first < wakeAt) {
            wakeAt = delayed_.begin()->first;
        }
        // A short cap keeps `done` polled when it depends on state that no queued work changes.
        wakeAt = std::min(wakeAt, Clock::now() + std::chrono::milliseconds(5));
        wake_.wait_until(lock, wakeAt, [this] { return !ready_.empty(); });
    }
}

void RunLoop::runFor(Duration duration) {
    runUntil([] { return false; }, duration);
}

}  // namespace intercom::dispatch
