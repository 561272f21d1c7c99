#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace intercom {

// The width of every integer field on the wire, the length and type fields included.
inline constexpr std::size_t kInt32Size = 4;

// What `bigEndianInt32` gives for data that holds no whole integer.
inline constexpr std::int64_t kNoInt32Data = -999;

// The four big-endian bytes of a value in the 32-bit signed range; none for any other value,
// so that an id or setting from elsewhere never goes out cut down to a different number.
std::optional<std::array<std::uint8_t, kInt32Size>> int32Data(std::int64_t value);

// The first four bytes of `data`, from the span's own start, as a big-endian 32-bit signed
// integer widened with its sign. Fewer than four bytes (empty data included) hold no whole
// integer and give -999; nothing beyond the span is ever read.
std::int64_t bigEndianInt32(std::span<const std::uint8_t> data);

}  // namespace intercom
