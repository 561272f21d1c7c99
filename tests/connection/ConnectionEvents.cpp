#include "ConnectionEvents.h"

#include <algorithm>
#include <thread>

namespace intercom::test {

void ConnectionEvents::tcpSocketDidConnect(TCPSocket& /*socket*/) {
    record({Kind::connected, Clock::now(), Message::unknown, {}});
}

void ConnectionEvents::tcpSocketDidReceive(Message message, const Bytes& data) {
    record({Kind::received, Clock::now(), message, data});
}

void ConnectionEvents::tcpSocketDidDisconnect() {
    record({Kind::disconnected, Clock::now(), Message::unknown, {}});
}

void ConnectionEvents::record(Event event) {
    {
        std::lock_guard lock(mutex_);
        overlapped_ = overlapped_ || inside_ > 0;
        ++inside_;
    }
    // A short stay inside the call gives an overlapping call the chance to show.
    std::this_thread::yield();
    std::lock_guard lock(mutex_);
    --inside_;
    events_.push_back(std::move(event));
    changed_.notify_all();
}

std::vector<ConnectionEvents::Event> ConnectionEvents::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

int ConnectionEvents::count(Kind kind) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                          [kind](const Event& e) { return e.kind == kind; }));
}

bool ConnectionEvents::overlapped() const {
    std::lock_guard lock(mutex_);
    return overlapped_;
}

bool ConnectionEvents::waitUntil(const std::function<bool(const std::vector<Event>&)>& done,
                                 std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(events_); });
}

bool ConnectionEvents::waitForCount(Kind kind, int wanted, std::chrono::milliseconds limit) {
    return waitUntil(
        [kind, wanted](const std::vector<Event>& events) {
            return std::count_if(events.begin(), events.end(),
                                 [kind](const Event& e) { return e.kind == kind; }) >= wanted;
        },
        limit);
}

}  // namespace intercom::test
