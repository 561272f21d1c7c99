#include "support/WaitUntil.h"

#include <thread>

namespace intercom::test {

namespace {

std::function<void()>& waitStep() {
    static std::function<void()> step = [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    return step;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        waitStep()();
    }
    return true;
}

bool waitUntil(const std::function<bool()>& done, int limitMs) {
    return waitUntil(done, std::chrono::milliseconds(limitMs));
}

void setWaitStep(std::function<void()> step) {
    waitStep() = std::move(step);
}

}  // namespace intercom::test
