#include "server/FormParser.h"

#include <algorithm>
#include <charconv>

#include "net/signalling/UTF8.h"

namespace intercom::server {

namespace {

std::optional<std::string> unescape(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char character = text[i];
        if (character == '+') {
            result.push_back(' ');
        } else if (character == '%') {
            if (text.size() - i < 3) {
                return std::nullopt;
            }
            const int high = hexDigitValue(text[i + 1]);
            const int low = hexDigitValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            result.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            result.push_back(character);
        }
    }
    if (!isValidUTF8(result)) {
        return std::nullopt;
    }
    return result;
}

}  // namespace

std::optional<std::map<std::string, std::string>> parseForm(std::string_view body) {
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start <= body.size()) {
        const auto end = std::min(body.find('&', start), body.size());
        const auto pair = body.substr(start, end - start);
        start = end + 1;
        if (pair.empty()) {
            continue;
        }
        const auto equals = pair.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        auto name = unescape(pair.substr(0, equals));
        auto value = unescape(pair.substr(equals + 1));
        if (!name || !value || !fields.emplace(std::move(*name), std::move(*value)).second) {
            return std::nullopt;
        }
    }
    return fields;
}

std::optional<std::int64_t> decimalInteger(std::string_view text) {
    std::int64_t value = 0;
    const auto* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

int hexDigitValue(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return -1;
}

}  // namespace intercom::server
