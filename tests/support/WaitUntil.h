#pragma once

#include <chrono>
#include <functional>

namespace intercom::test {

// Checks `done` until it holds or `limit` has passed; true when it held. Between two checks
// it runs the wait step: a 2 ms sleep, or what `setWaitStep` installed.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));
bool waitUntil(const std::function<bool()>& done, int limitMs);

// The widget tests run Qt's event loop between the checks, so that what they wait for can
// happen on the thread that waits. Set once, before the tests run.
void setWaitStep(std::function<void()> step);

}  // namespace intercom::test
