#include "net/signalling/Frame.h"

#include "net/signalling/ByteOrder.h"

namespace intercom {

std::optional<Frame> splitFrame(std::span<const std::uint8_t> whole) {
    if (whole.size() < kFrameHeaderSize) {
        return std::nullopt;
    }
    const auto type = messageFromCode(bigEndianInt32(whole.subspan(kInt32Size, kInt32Size)));
    const auto payload = whole.subspan(kFrameHeaderSize);
    return Frame{type.value_or(Message::unknown), Bytes(payload.begin(), payload.end())};
}

}  // namespace intercom
