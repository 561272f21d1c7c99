#include "model/RecordMapping.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>

namespace intercom {

namespace {

// 2^63 is exactly representable; anything at or beyond it does not fit.
constexpr double kInt64Bound = 9223372036854775808.0;

bool integerFromDouble(double value, std::int64_t& out) {
    const double cut = std::trunc(value);
    if (!std::isfinite(cut) || cut >= kInt64Bound || cut < -kInt64Bound) {
        return false;
    }
    out = static_cast<std::int64_t>(cut);
    return true;
}

bool integerFromNumber(const nlohmann::json& value, std::int64_t& out) {
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return false;
        }
        out = static_cast<std::int64_t>(unsignedValue);
        return true;
    }
    if (value.is_number_integer()) {
        out = value.get<std::int64_t>();
        return true;
    }
    return integerFromDouble(value.get<double>(), out);
}

bool integerFromString(const std::string& text, std::int64_t& out) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') {
            return false;
        }
    }
    if (first == last) {
        return false;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) {
        return false;
    }
    out = value;
    return true;
}

// Plain decimal digits, never an exponent: integral numbers print as whole numbers ("5" from
// 5.0, "1000000000000000000000" from 1e21), others with their fraction. The digits are the
// shortest that read back to the same double, so 1e23 prints as a 1 and 23 zeros rather
// than as the double's exact binary value.
std::string decimalText(const nlohmann::json& number) {
    if (!number.is_number_float()) {
        return number.dump();
    }
    const double value = number.get<double>();
    if (value == 0 || !std::isfinite(value)) {
        return value == 0 ? "0" : number.dump();
    }
    char buffer[32];
    const auto [end, error] = std::to_chars(std::begin(buffer), std::end(buffer), std::fabs(value),
                                            std::chars_format::scientific);
    if (error != std::errc()) {
        return number.dump();
    }
    const std::string scientific(buffer, end);
    const auto mark = scientific.find('e');
    std::string digits = scientific.substr(0, mark);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    const int exponent = std::stoi(scientific.substr(mark + 1));
    const auto whole = static_cast<std::ptrdiff_t>(exponent) + 1;  // digits before the point
    const auto count = static_cast<std::ptrdiff_t>(digits.size());
    std::string text = value < 0 ? "-" : "";
    if (whole >= count) {
        text += digits + std::string(static_cast<std::size_t>(whole - count), '0');
    } else if (whole <= 0) {
        text += "0." + std::string(static_cast<std::size_t>(-whole), '0') + digits;
    } else {
        text += digits.substr(0, static_cast<std::size_t>(whole)) + "." +
                digits.substr(static_cast<std::size_t>(whole));
    }
    return text;
}

}  // namespace

namespace mapping {

bool integerOf(const nlohmann::json& value, std::int64_t& out) {
    if (value.is_boolean()) {
        out = value.get<bool>() ? 1 : 0;
        return true;
    }
    if (value.is_number()) {
        return integerFromNumber(value, out);
    }
    if (value.is_string()) {
        return integerFromString(value.get_ref<const std::string&>(), out);
    }
    return false;
}

void mapInteger(const nlohmann::json& object, const char* key, std::int64_t& field) {
    const auto found = object.find(key);
    if (found != object.end()) {
        integerOf(*found, field);
    }
}

void mapText(const nlohmann::json& object, const char* key, std::string& field) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return;
    }
    if (found->is_string()) {
        field = found->get<std::string>();
    } else if (found->is_boolean()) {
        field = found->get<bool>() ? "true" : "false";
    } else if (found->is_number()) {
        field = decimalText(*found);
    } else {
        // An object or array prints as its JSON.
        field = found->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

}  // namespace mapping

namespace stored {

bool readInteger(const nlohmann::json& object, const char* key, std::int64_t& field) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number()) {
        return false;
    }
    if (found->is_number_float()) {
        const double value = found->get<double>();
        return value == std::trunc(value) && integerFromDouble(value, field);
    }
    return integerFromNumber(*found, field);
}

bool readText(const nlohmann::json& object, const char* key, std::string& field) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return false;
    }
    field = found->get<std::string>();
    return true;
}

bool readBool(const nlohmann::json& object, const char* key, bool& field) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_boolean()) {
        return false;
    }
    field = found->get<bool>();
    return true;
}

}  // namespace stored

}  // namespace intercom
