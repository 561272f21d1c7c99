#include "net/api/JSONValue.h"

#include "model/RecordMapping.h"

namespace intercom::api {

JSONValue::JSONValue(nlohmann::json value) : value_(std::move(value)) {}

JSONValue JSONValue::parse(std::string_view bytes) {
    auto value = nlohmann::json::parse(bytes, nullptr, false);
    if (value.is_discarded()) {
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
