#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace intercom::server {

// Reads the fields of a received payload front to back. A field that the payload is too
// short for gives none; nothing past the payload is ever read.
class PayloadReader {
  public:
    explicit PayloadReader(std::span<const std::uint8_t> payload) : rest_(payload) {}

    // The next 4-byte big-endian integer.
    std::optional<std::int64_t> integer();
    // Everything not read yet (text or voice, which run to the end of the frame).
    std::span<const std::uint8_t> rest() const { return rest_; }
    std::size_t remaining() const { return rest_.size(); }

  private:
    std::span<const std::uint8_t> rest_;
};

}  // namespace intercom::server
