#include "server/PayloadReader.h"

#include "net/signalling/ByteOrder.h"

namespace intercom::server {

std::optional<std::int64_t> PayloadReader::integer() {
    if (rest_.size() < 4) {
        return std::nullopt;
    }
    const auto value = bigEndianInt32(rest_.first(4));
    rest_ = rest_.subspan(4);
    return value;
}

}  // namespace intercom::server
