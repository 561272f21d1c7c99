#include "net/api/JSONValue.h"

#include "model/RecordMapping.h"

namespace intercom::api {

namespace {

// Replies nest a few levels (a page, its groups, their listeners). A value nested much deeper
// is no reply, and copying or printing it recurses once per level, which a few hundred
// kilobytes of brackets turn into a stack overflow.
constexpr int kMaxDepth = 64;

}  // namespace

JSONValue::JSONValue(nlohmann::json value) : value_(std::move(value)) {}

JSONValue JSONValue::parse(std::string_view bytes) {
    bool tooDeep = false;
    auto value = nlohmann::json::parse(
        bytes,
        [&tooDeep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
            tooDeep = tooDeep || depth > kMaxDepth;
            return !tooDeep;
        },
        false);
    if (value.is_discarded() || tooDeep) {
        return JSONValue();
    }
    return JSONValue(std::move(value));
}

JSONValue::Kind JSONValue::kind() const {
    if (value_.is_number()) {
        return Kind::number;
    }
    if (value_.is_string()) {
        return Kind::string;
    }
    if (value_.is_boolean()) {
        return Kind::boolean;
    }
    if (value_.is_array()) {
        return Kind::array;
    }
    if (value_.is_object()) {
        return Kind::object;
    }
    return Kind::null;
}

JSONValue JSONValue::operator[](const std::string& key) const {
    if (!value_.is_object()) {
        return JSONValue();
    }
    const auto found = value_.find(key);
    return found == value_.end() ? JSONValue() : JSONValue(*found);
}

std::int64_t JSONValue::intValue() const {
    std::int64_t value = 0;
    mapping::integerOf(value_, value);
    return value;
}

}  // namespace intercom::api
