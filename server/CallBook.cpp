#include "server/CallBook.h"

#include <algorithm>

namespace intercom::server {

std::optional<CallBook::Call> CallBook::callOf(std::int64_t user) const {
    const auto found = std::find_if(calls_.begin(), calls_.end(), [user](const Call& call) {
        return call.caller == user || call.callee == user;
    });
    return found == calls_.end() ? std::nullopt : std::optional(*found);
}

std::optional<CallBook::Call> CallBook::between(std::int64_t a, std::int64_t b) const {
    const auto call = callOf(a);
    if (call &&
        ((call->caller == a && call->callee == b) || (call->caller == b && call->callee == a))) {
        return call;
    }
    return std::nullopt;
}

void CallBook::ring(std::int64_t caller, std::int64_t callee) {
    calls_.push_back(Call{caller, callee, false});
}

void CallBook::agree(std::int64_t caller, std::int64_t callee) {
    for (auto& call : calls_) {
        if (call.caller == caller && call.callee == callee) {
            call.agreed = true;
        }
    }
}

void CallBook::end(std::int64_t a, std::int64_t b) {
    std::erase_if(calls_, [a, b](const Call& call) {
        return (call.caller == a && call.callee == b) || (call.caller == b && call.callee == a);
    });
}

std::optional<std::int64_t> CallBook::leave(std::int64_t user) {
    const auto call = callOf(user);
    if (!call) {
        return std::nullopt;
    }
    end(call->caller, call->callee);
    return call->caller == user ? call->callee : call->caller;
}

void CallBook::addMissed(std::int64_t callee, MissedCall call) {
    auto& calls = missed_[callee];
    const auto found = std::find_if(calls.begin(), calls.end(), [&call](const MissedCall& kept) {
        return kept.caller == call.caller;
    });
    if (found != calls.end()) {
        found->callerName = std::move(call.callerName);
        return;
    }
    calls.push_back(std::move(call));
}

std::vector<CallBook::MissedCall> CallBook::takeMissed(std::int64_t callee) {
    const auto found = missed_.find(callee);
    if (found == missed_.end()) {
        return {};
    }
    auto calls = std::move(found->second);
    missed_.erase(found);
    return calls;
}

}  // namespace intercom::server
