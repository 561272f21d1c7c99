#pragma once

#include <optional>

#include "net/api/PostForm.h"

namespace intercom::test {

// Records what a request's completion received, how often and on which queue. Lives on
// the test's thread, which runs the main run loop.
class CompletionRecorder {
  public:
    api::JSONCompletion completion();
    // Runs the main run loop until the completion has run; false when it never did.
    bool wait();
    // Runs the main run loop a little longer, so that a second call would show.
    void settle();

    int calls() const { return calls_; }
    bool allOnMainQueue() const { return allOnMainQueue_; }
    const std::optional<api::JSONValue>& value() const { return value_; }

  private:
    int calls_ = 0;
    bool allOnMainQueue_ = true;
    std::optional<api::JSONValue> value_;
};

}  // namespace intercom::test
