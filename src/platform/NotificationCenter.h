#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/Queue.h"

namespace intercom {

struct Notification {
    std::string name;
    std::any object;
};

class NotificationCenter;

// Keeps one observer registered for as long as it lives; the owner of the observer holds
// it, so the observer goes away together with its owner.
class Observation {
  public:
    Observation() = default;
    ~Observation();
    Observation(Observation&& other) noexcept;
    Observation& operator=(Observation&& other) noexcept;
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;

    // Unregisters now; a delivery already queued for this observer does nothing.
    void remove();

  private:
    friend class NotificationCenter;
    Observation(NotificationCenter* center, std::uint64_t token) : center_(center), token_(token) {}

    NotificationCenter* center_ = nullptr;
    std::uint64_t token_ = 0;
};

// In-process broadcast by name. A post runs on the poster's thread and hands each
// matching observer its notification on the queue that the observer chose; an observer
// on the poster's own queue is called before `post` returns.
class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    [[nodiscard]] Observation addObserver(std::string name, dispatch::Queue& queue,
                                          Handler handler);
    void post(const std::string& name, std::any object = {});
    // How many observers of that name are registered now: whether pages that went away
    // took their observers with them.
    std::size_t observerCount(const std::string& name) const;

  private:
    friend class Observation;
    struct Entry {
        std::uint64_t token;
        std::string name;
        dispatch::Queue* queue;
        std::shared_ptr<const Handler> handler;
    };

    void remove(std::uint64_t token);
    std::shared_ptr<const Handler> handlerFor(std::uint64_t token) const;

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t nextToken_ = 1;
};

}  // namespace intercom
