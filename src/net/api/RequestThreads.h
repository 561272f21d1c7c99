#pragma once

#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/dispatch/Queue.h"

namespace intercom::api {

// The threads on which the blocking HTTP requests run, apart from the global queue, so that a
// server that is slow or never answers holds up nothing but its own requests. Each request
// gets a thread of its own while fewer than `limit` run; beyond that, requests wait their turn
// in the order they came. A thread ends as soon as no request waits, and nothing ever waits for
// one to end: a request still blocked when the process exits keeps nothing from ending.
class RequestThreads {
  public:
    explicit RequestThreads(std::size_t limit);
    RequestThreads(const RequestThreads&) = delete;
    RequestThreads& operator=(const RequestThreads&) = delete;

    // Runs `work` on one of the threads. False when no thread could be started and none runs
    // that would take it: `work` is dropped without having run.
    bool run(dispatch::Work work);

  private:
    void serve(dispatch::Work work);

    const std::size_t limit_;
    std::mutex mutex_;
    std::deque<dispatch::Work> waiting_;
    std::size_t running_ = 0;
};

// The threads of the process's requests. Never destroyed: one of them may still be inside a
// request while the process exits.
RequestThreads& requestThreads();

}  // namespace intercom::api
