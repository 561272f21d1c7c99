#include "net/signalling/FrameReader.h"

#include "net/signalling/ByteOrder.h"

namespace intercom {

void FrameReader::append(std::span<const std::uint8_t> chunk) {
    if (broken_) {
        return;
    }
    // Frames handed out are dropped only now, so a read that holds many frames moves its tail
    // once instead of once per frame.
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
    buffer_.insert(buffer_.end(), chunk.begin(), chunk.end());
}

std::optional<Frame> FrameReader::next() {
    if (broken_) {
        return std::nullopt;
    }
    const auto pending = std::span<const std::uint8_t>(buffer_).subspan(start_);
    if (pending.size() < kInt32Size) {
        return std::nullopt;
    }
    const auto length = bigEndianInt32(pending.first(kInt32Size));
    if (length < kMinFrameLength || length > kMaxFrameLength) {
        broken_ = true;
        buffer_ = Bytes();
        start_ = 0;
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(length) + kInt32Size;
    if (pending.size() < size) {
        return std::nullopt;
    }
    start_ += size;
    return splitFrame(pending.first(size));
}

}  // namespace intercom
