#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace intercom::server {

// Reads an application/x-www-form-urlencoded body: name=value pairs joined by "&", "+"
// for a space, %XX escapes. Nothing when the body is not such a form: a pair without
// "=", a broken escape, a name given twice, or a name or value that is not UTF-8.
std::optional<std::map<std::string, std::string>> parseForm(std::string_view body);

// The integer that `text` spells in decimal (an optional "-", then digits, nothing else).
std::optional<std::int64_t> decimalInteger(std::string_view text);

// The value of one hexadecimal digit, or -1 for any other character.
int hexDigitValue(char character);

}  // namespace intercom::server
