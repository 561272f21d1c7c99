#pragma once

#include <asio/thread_pool.hpp>

#include "platform/dispatch/Queue.h"

namespace intercom::dispatch {

// The global concurrent queue: a thread pool on which work runs in parallel, the way
// socket callbacks, timers and delayed work expect.
class GlobalQueue final : public Queue {
  public:
    explicit GlobalQueue(std::size_t threads);
    ~GlobalQueue() override;

    // Stops the threads: work still queued or posted later never runs. Waits for the
    // running work to end unless called from one of the queue's own threads.
    void shutdown();
    GlobalQueue(const GlobalQueue&) = delete;
    GlobalQueue& operator=(const GlobalQueue&) = delete;

    void async(Work work) override;
    void after(Duration delay, Work work) override;
    bool isCurrent() const override;

    asio::thread_pool::executor_type executor();

  private:
    mutable asio::thread_pool pool_;
};

// The one global queue of the process. It is shut down when the process exits but never
// destroyed, so that an audio thread or a late timer may still post to it then.
GlobalQueue& globalQueue();

}  // namespace intercom::dispatch
