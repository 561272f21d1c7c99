#include "platform/dispatch/MainQueue.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace intercom::dispatch {

namespace {

// Every queue ever installed stays alive: a pool thread may still hold a reference it
// took just before the queue was replaced.
std::vector<std::shared_ptr<Queue>>& installedQueues() {
    static auto* queues = new std::vector<std::shared_ptr<Queue>>();
    return *queues;
}

std::atomic<Queue*>& currentQueue() {
    static std::atomic<Queue*> current{&mainRunLoop()};
    return current;
}

}  // namespace

RunLoop& mainRunLoop() {
    static auto* loop = new RunLoop();  // never destroyed: pool threads may post during exit
    return *loop;
}

Queue& mainQueue() {
    return *currentQueue().load(std::memory_order_acquire);
}

void setMainQueue(std::shared_ptr<Queue> queue) {
    static std::mutex installing;
    std::lock_guard lock(installing);
    Queue* next = queue ? queue.get() : &mainRunLoop();
    if (queue) {
        installedQueues().push_back(std::move(queue));
    }
    currentQueue().store(next, std::memory_order_release);
}

}  // namespace intercom::dispatch
