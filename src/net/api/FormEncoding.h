#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>

namespace intercom::api {

using FormValue = std::variant<std::string, std::int64_t>;
using FormParams = std::map<std::string, FormValue>;

// Every byte but letters, digits and "-._~" as %XX, so the UTF-8 of any text survives.
std::string percentEscape(std::string_view text);
// name=value pairs in name order joined by "&", integers in decimal.
std::string formEncode(const FormParams& params);

}  // namespace intercom::api
