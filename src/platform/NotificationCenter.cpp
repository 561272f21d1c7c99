#include "platform/NotificationCenter.h"

#include <algorithm>
#include <utility>

namespace intercom {

Observation::~Observation() {
    remove();
}

Observation::Observation(Observation&& other) noexcept
    : center_(std::exchange(other.center_, nullptr)), token_(std::exchange(other.token_, 0)) {}

Observation& Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        remove();
        center_ = std::exchange(other.center_, nullptr);
        token_ = std::exchange(other.token_, 0);
    }
    return *this;
}

void Observation::remove() {
    if (center_ != nullptr) {
        center_->remove(token_);
        center_ = nullptr;
    }
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter();  // outlives every observer and poster
    return *center;
}

Observation NotificationCenter::addObserver(std::string name, dispatch::Queue& queue,
                                            Handler handler) {
    std::lock_guard lock(mutex_);
    const auto token = nextToken_++;
    entries_.push_back(
        Entry{token, std::move(name), &queue, std::make_shared<const Handler>(std::move(handler))});
    return Observation(this, token);
}

void NotificationCenter::post(const std::string& name, std::any object) {
    std::vector<Entry> matching;
    {
        std::lock_guard lock(mutex_);
        std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(matching),
                     [&](const Entry& entry) { return entry.name == name; });
    }
    const auto notification = std::make_shared<const Notification>(Notification{name, object});
    for (const auto& entry : matching) {
        if (entry.queue->isCurrent()) {
            (*entry.handler)(*notification);
            continue;
        }
        // The observer may be removed before its queue gets to the delivery; it is looked
        // up again there so that a gone owner is never called.
        entry.queue->async([this, token = entry.token, notification] {
            if (auto handler = handlerFor(token)) {
                (*handler)(*notification);
            }
        });
    }
}

void NotificationCenter::remove(std::uint64_t token) {
    std::shared_ptr<const Handler> released;
    std::lock_guard lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [token](const Entry& entry) { return entry.token == token; });
    if (found != entries_.end()) {
        released = found->handler;
        entries_.erase(found);
    }
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(),
                      [&name](const Entry& entry) { return entry.name == name; }));
}

std::shared_ptr<const NotificationCenter::Handler> NotificationCenter::handlerFor(
    std::uint64_t token) const {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [token](const Entry& entry) { return entry.token == token; });
    return found == entries_.end() ? nullptr : found->handler;
}

}  // namespace intercom
