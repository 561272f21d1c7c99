#include "net/api/RequestThreads.h"

#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "platform/Log.h"

namespace intercom::api {

RequestThreads::RequestThreads(std::size_t limit) : limit_(limit) {}

bool RequestThreads::run(dispatch::Work work) {
    {
        std::lock_guard lock(mutex_);
        if (running_ >= limit_) {
            waiting_.push_back(std::move(work));
            return true;
        }
        ++running_;
    }
    // Shared with the thread, so that it is still here when the thread cannot be started.
    auto first = std::make_shared<dispatch::Work>(std::move(work));
    try {
        std::thread([this, first] { serve(std::move(*first)); }).detach();
        return true;
    } catch (const std::system_error& error) {
        logFailure(std::string("cannot start a thread for an HTTP request: ") + error.what());
    }
    std::lock_guard lock(mutex_);
    --running_;
    if (running_ == 0) {
        return false;
    }
    waiting_.push_back(std::move(*first));
    return true;
}

void RequestThreads::serve(dispatch::Work work) {
    while (true) {
        work();
        // What the request held goes now, not when the next one is done.
        work = nullptr;
        std::lock_guard lock(mutex_);
        if (waiting_.empty()) {
            --running_;
            return;
        }
        work = std::move(waiting_.front());
        waiting_.pop_front();
    }
}

RequestThreads& requestThreads() {
    // The client has a few requests in flight when the server is well. When it hangs, a burst
    // of page reloads pushed over the signalling connection must not become a thread and a
    // socket per push, so sixteen at most wait on it at once and the rest queue behind them.
    static auto* threads = new RequestThreads(16);
    return *threads;
}

}  // namespace intercom::api
