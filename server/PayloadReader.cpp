#include "server/PayloadReader.h"

#include "net/signalling/ByteOrder.h"

namespace intercom::server {

std::optional<std::int64_t> PayloadReader::integer() {
    if (rest_.size() < kInt32Size) {
        return std::nullopt;
    }
    const auto value = bigEndianInt32(rest_.first(kInt32Size));
    rest_ = rest_.subspan(kInt32Size);
    return value;
}

}  // namespace intercom::server
