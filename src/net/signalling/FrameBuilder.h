#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "net/signalling/Message.h"
#include "platform/Bytes.h"

namespace intercom {

// Builds one whole frame, length field included, so that it can go to the socket in a single
// write. A frame that cannot be sent as asked (an integer outside the 32-bit range, or more
// than the longest frame a reader accepts) is refused as a whole: `finish` gives none, and the
// sender sends nothing rather than a frame with a different number in it.
class FrameBuilder {
  public:
    explicit FrameBuilder(std::int32_t code, std::size_t payloadCapacity = 16);
    explicit FrameBuilder(Message type, std::size_t payloadCapacity = 16);

    // A 4-byte big-endian field.
    FrameBuilder& integer(std::int64_t value);
    // An integer field holding 1 or 0.
    FrameBuilder& flag(bool value);
    // Text or voice: the bytes as they are, with no length or terminator; always the last field.
    FrameBuilder& bytes(std::span<const std::uint8_t> data);
    FrameBuilder& text(std::string_view utf8);

    // The whole frame; the builder is spent afterwards.
    std::optional<Bytes> finish();

  private:
    Bytes frame_;
    bool refused_ = false;
};

// A frame of the given type with a ready payload.
std::optional<Bytes> makeFrame(std::int32_t code, std::span<const std::uint8_t> payload);
std::optional<Bytes> makeFrame(Message type, std::span<const std::uint8_t> payload);

}  // namespace intercom
