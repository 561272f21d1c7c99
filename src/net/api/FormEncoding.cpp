#include "net/api/FormEncoding.h"

namespace intercom::api {

namespace {

bool isUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

}  // namespace

std::string percentEscape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size() * 3);
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (isUnreserved(byte)) {
            escaped.push_back(character);
        } else {
            escaped.push_back('%');
            escaped.push_back(kHex[byte >> 4]);
            escaped.push_back(kHex[byte & 0x0F]);
        }
    }
    return escaped;
}

std::string formEncode(const FormParams& params) {
    std::string body;
    for (const auto& [name, value] : params) {
        if (!body.empty()) {
            body.push_back('&');
        }
        body += percentEscape(name);
        body.push_back('=');
        if (const auto* text = std::get_if<std::string>(&value)) {
            body += percentEscape(*text);
        } else {
            body += std::to_string(std::get<std::int64_t>(value));
        }
    }
    return body;
}

}  // namespace intercom::api
