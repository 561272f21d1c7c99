#pragma once

#include <cstdint>
#include <vector>

namespace intercom {

// Raw bytes: stored values, frames on the wire, voice blocks.
using Bytes = std::vector<std::uint8_t>;

}  // namespace intercom
