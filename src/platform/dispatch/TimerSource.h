#pragma once

#include <asio/steady_timer.hpp>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/dispatch/Queue.h"

namespace intercom::dispatch {

// A repeating timer whose handler runs on the global queue. It starts suspended: set
// the schedule and the handler, then `resume`. The handler never overlaps itself: the
// next tick is armed only after the previous one returned, and ticks missed meanwhile
// are dropped rather than delivered in a burst; the ticks that follow keep the phase of
// the first deadline.
//
// `cancel` may be called from any thread, also from inside the handler. Once it returns,
// no handler runs any more; when the handler is running on another thread, `cancel`
// waits for it, so never cancel while holding a lock that the handler takes.
class TimerSource : public std::enable_shared_from_this<TimerSource> {
  public:
    static std::shared_ptr<TimerSource> create();
    ~TimerSource();
    TimerSource(const TimerSource&) = delete;
    TimerSource& operator=(const TimerSource&) = delete;

    // First tick at `deadline`, then every `interval` (a zero interval fires once). asio
    // fires each tick at its deadline, which honours any leeway; a tick that is late by
    // no more than the leeway still fires, later ones are dropped.
    void schedule(Clock::time_point deadline, Duration interval, Duration leeway);
    void setEventHandler(Work handler);
    void resume();
    void cancel();
    bool isCancelled() const;

  private:
    TimerSource();
    void armLocked(Clock::time_point deadline);
    void fire(std::uint64_t generation);

    mutable std::mutex mutex_;
    std::condition_variable handlerDone_;
    asio::steady_timer timer_;
    Work handler_;
    Clock::time_point deadline_{};
    Duration interval_{};
    Duration leeway_{};
    bool resumed_ = false;
    bool cancelled_ = false;
    std::optional<std::thread::id> handlerThread_;
    std::uint64_t generation_ = 0;
};

}  // namespace intercom::dispatch
