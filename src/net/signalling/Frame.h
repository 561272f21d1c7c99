#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "net/signalling/Message.h"
#include "platform/Bytes.h"

namespace intercom {

// A frame is a 4-byte length, a 4-byte type and the payload. The length counts the type and
// the payload but not itself.
inline constexpr std::size_t kFrameHeaderSize = 8;
inline constexpr std::int64_t kMinFrameLength = 4;
// No frame of this protocol comes near this (voice blocks are 64 bytes, names and lists a
// few hundred); a larger length means the stream is out of step.
inline constexpr std::int64_t kMaxFrameLength = 1 << 20;

// One received frame as the rest of the client sees it.
struct Frame {
    Message type = Message::unknown;
    Bytes payload;

    bool operator==(const Frame&) const = default;
};

// The split of one whole frame: the length field is skipped, the type is looked up (a code
// with no case becomes `unknown`) and everything after it is the payload. None when `whole`
// is shorter than the 8 bytes of length and type.
std::optional<Frame> splitFrame(std::span<const std::uint8_t> whole);

}  // namespace intercom
