#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "net/signalling/Frame.h"
#include "platform/Bytes.h"

namespace intercom {

// Cuts a received byte stream into frames by their length fields. TCP delivers bytes, not
// frames: one read may end inside a frame or hold several, and each frame must still reach
// its handler whole and once. Bytes go in as they arrive; `next` hands out each complete
// frame, in stream order, one at a time.
//
// A length field below 4 or above `kMaxFrameLength` means the stream has lost its framing and
// nothing after it can be trusted: the reader turns broken, drops what it holds and gives
// nothing more. The owner of the connection then closes it and starts again with a new reader.
//
// One reader belongs to one stream and is used by one thread at a time.
class FrameReader {
  public:
    void append(std::span<const std::uint8_t> chunk);

    // The next complete frame, or none while the rest has not arrived or once broken.
    std::optional<Frame> next();

    bool isBroken() const { return broken_; }

  private:
    Bytes buffer_;
    // Start of the first frame not handed out yet.
    std::size_t start_ = 0;
    bool broken_ = false;
};

}  // namespace intercom
