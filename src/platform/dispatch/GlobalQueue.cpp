#include "platform/dispatch/GlobalQueue.h"

#include <algorithm>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <memory>
#include <thread>

namespace intercom::dispatch {

GlobalQueue::GlobalQueue(std::size_t threads) : pool_(threads) {}

GlobalQueue::~GlobalQueue() {
    shutdown();
}

void GlobalQueue::shutdown() {
    pool_.stop();
    // The process may end from work on the queue itself, which cannot wait for itself.
    if (!isCurrent()) {
        pool_.join();
    }
}

void GlobalQueue::async(Work work) {
    asio::post(pool_, std::move(work));
}

void GlobalQueue::after(Duration delay, Work work) {
    auto timer = std::make_shared<asio::steady_timer>(pool_.get_executor(), delay);
    timer->async_wait([timer, work = std::move(work)](const std::error_code& error) {
        if (!error) {
            work();
        }
    });
}

bool GlobalQueue::isCurrent() const {
    return pool_.get_executor().running_in_this_thread();
}

asio::thread_pool::executor_type GlobalQueue::executor() {
    return pool_.get_executor();
}

GlobalQueue& globalQueue() {
    // Work that waits a moment on a lock (a recorder's, a timer's cancel waiting for its
    // handler) must not starve the timers, so the pool never gets fewer than four threads.
    // Nothing that may block for long runs here: the HTTP requests have threads of their own.
    static auto* queue = new GlobalQueue(std::max(4U, std::thread::hardware_concurrency()));
    static const struct ShutdownAtExit {
        ~ShutdownAtExit() { queue->shutdown(); }
    } shutdownAtExit;
    return *queue;
}

}  // namespace intercom::dispatch
