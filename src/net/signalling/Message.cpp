#include "net/signalling/Message.h"

namespace intercom {

namespace {

// Every code lies in -1..80, so a table indexed by code + 1 answers a lookup without a search.
constexpr std::int64_t kLowestCode = -1;
constexpr std::int64_t kHighestCode = 80;

struct CodeTable {
    std::array<std::optional<Message>, kHighestCode - kLowestCode + 1> cases{};

    constexpr CodeTable() {
        for (const Message message : kAllMessages) {
            cases[static_cast<std::size_t>(rawValue(message) - kLowestCode)] = message;
        }
    }
};

constexpr CodeTable kCodeTable;

}  // namespace

std::optional<Message> messageFromCode(std::int64_t code) {
    if (code < kLowestCode || code > kHighestCode) {
        return std::nullopt;
    }
    return kCodeTable.cases[static_cast<std::size_t>(code - kLowestCode)];
}

}  // namespace intercom
