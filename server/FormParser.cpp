#include "server/FormParser.h"

#include <algorithm>
#include <charconv>

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

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const bool overlong =
            (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (overlong || surrogate || codePoint > 0x10FFFF) {
            return false;
        }
        i += length;
    }
    return true;
}

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
