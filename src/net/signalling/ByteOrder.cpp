#include "net/signalling/ByteOrder.h"

#include <limits>

namespace intercom {

std::optional<std::array<std::uint8_t, kInt32Size>> int32Data(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    const auto bits = static_cast<std::uint32_t>(value);
    return std::array<std::uint8_t, kInt32Size>{
        static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
        static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

std::int64_t bigEndianInt32(std::span<const std::uint8_t> data) {
    if (data.size() < kInt32Size) {
        return kNoInt32Data;
    }
    const std::uint32_t bits = (std::uint32_t{data[0]} << 24) | (std::uint32_t{data[1]} << 16) |
                               (std::uint32_t{data[2]} << 8) | std::uint32_t{data[3]};
    return static_cast<std::int32_t>(bits);
}

}  // namespace intercom
