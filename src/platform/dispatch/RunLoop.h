#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/dispatch/Queue.h"

namespace intercom::dispatch {

// A main queue without a windowing toolkit: work waits until some thread runs the
// loop, and then runs on that thread, in the order it was queued.
class RunLoop final : public Queue {
  public:
    void async(Work work) override;
    void after(Duration delay, Work work) override;
    bool isCurrent() const override;

    // Runs queued and due work on the calling thread until `done` returns true or
    // `timeout` has passed; returns the last answer of `done`.
    bool runUntil(const std::function<bool()>& done, Duration timeout);
    // Runs queued and due work on the calling thread for `duration`.
    void runFor(Duration duration);

  private:
    bool runDueWork();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Work> ready_;
    std::multimap<Clock::time_point, Work> delayed_;
};

}  // namespace intercom::dispatch
