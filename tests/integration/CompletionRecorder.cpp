#include "CompletionRecorder.h"

#include <chrono>

#include "platform/dispatch/MainQueue.h"

namespace intercom::test {

api::JSONCompletion CompletionRecorder::completion() {
    return [this](std::optional<api::JSONValue> value) {
        ++calls_;
        allOnMainQueue_ = allOnMainQueue_ && dispatch::mainQueue().isCurrent();
        value_ = std::move(value);
    };
}

bool CompletionRecorder::wait() {
    // Far beyond any time limit of the requests: the bound is only there to end a test
    // that would otherwise hang.
    return dispatch::mainRunLoop().runUntil([this] { return calls_ > 0; },
                                            std::chrono::seconds(90));
}

void CompletionRecorder::settle() {
    dispatch::mainRunLoop().runFor(std::chrono::milliseconds(50));
}

}  // namespace intercom::test
