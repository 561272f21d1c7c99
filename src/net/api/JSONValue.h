#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace intercom::api {

// A parsed reply as its readers see it: asking for what is not there gives null or 0,
// never an error.
class JSONValue {
  public:
    enum class Kind { number, string, boolean, array, object, null };

    JSONValue() = default;
    explicit JSONValue(nlohmann::json value);

    // Bytes that are not JSON (an empty body, an HTML page) give the null value.
    static JSONValue parse(std::string_view bytes);

    Kind kind() const;
    // A missing member, or any member of something that is not an object, reads as null.
    JSONValue operator[](const std::string& key) const;
    // A number's integer part, a base-10 numeric string's value, 1 for true, otherwise 0.
    std::int64_t intValue() const;
    // The object or array itself, for the record mapping. A temporary hands its value
    // over, so that `reply["data"]["users"].raw()` never refers to a destroyed value.
    const nlohmann::json& raw() const& { return value_; }
    nlohmann::json raw() && { return std::move(value_); }

  private:
    nlohmann::json value_;
};

}  // namespace intercom::api
