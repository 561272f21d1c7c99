#include "server/BodyFraming.h"

#include <strings.h>

#include <optional>

#include "server/FormParser.h"

namespace intercom::server {

namespace {

// The value of the header line if it is the header `name` (in any case), without the blanks
// around it.
std::optional<std::string_view> headerValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':' ||
        ::strncasecmp(line.data(), name.data(), name.size()) != 0) {
        return std::nullopt;
    }
    auto value = line.substr(name.size() + 1);
    const auto first = value.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::string_view();
    }
    value.remove_prefix(first);
    return value.substr(0, value.find_last_not_of(" \t") + 1);
}

}  // namespace

BodyFraming bodyFraming(std::string_view head) {
    BodyFraming framing;
    bool lengthSeen = false;
    // Every line after the request line.
    for (auto start = head.find("\r\n"); start != std::string_view::npos;) {
        const auto end = head.find("\r\n", start + 2);
        const auto line = head.substr(
            start + 2, end == std::string_view::npos ? std::string_view::npos : end - start - 2);
        start = end;
        if (headerValue(line, "transfer-encoding")) {
            framing.known = false;
        } else if (const auto value = headerValue(line, "content-length")) {
            const auto length = decimalInteger(*value);
            framing.known = framing.known && !lengthSeen && length && *length >= 0;
            framing.length = framing.known ? static_cast<std::size_t>(*length) : 0;
            lengthSeen = true;
        }
    }
    return framing;
}

}  // namespace intercom::server
