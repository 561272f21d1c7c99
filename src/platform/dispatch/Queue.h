#pragma once

#include <chrono>
#include <functional>

namespace intercom::dispatch {

using Work = std::function<void()>;
using Clock = std::chrono::steady_clock;
using Duration = Clock::duration;

// A place where work runs: the main queue (the interface thread) or the global
// concurrent queue (a thread pool).
class Queue {
  public:
    virtual ~Queue() = default;

    // Runs `work` on this queue as soon as it can; never on the caller's stack.
    virtual void async(Work work) = 0;
    // Runs `work` on this queue once `delay` has passed.
    virtual void after(Duration delay, Work work) = 0;
    // True on a thread that is running this queue's work right now.
    virtual bool isCurrent() const = 0;
};

}  // namespace intercom::dispatch
