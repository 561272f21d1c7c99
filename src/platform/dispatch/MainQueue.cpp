#include "platform/dispatch/MainQueue.h"

#include <atomic>

namespace intercom::dispatch {

namespace {

std::shared_ptr<Queue>& installedQueue() {
    static std::shared_ptr<Queue> queue;
    return queue;
}

// Readers take the queue without a lock: installation happens once, at start-up,
// before any other thread asks for the main queue.
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
    installedQueue() = std::move(queue);
    Queue* next = installedQueue() ? installedQueue().get() : &mainRunLoop();
    currentQueue().store(next, std::memory_order_release);
}

}  // namespace intercom::dispatch
