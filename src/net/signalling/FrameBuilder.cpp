#include "net/signalling/FrameBuilder.h"

#include <algorithm>
#include <utility>

#include "net/signalling/ByteOrder.h"
#include "net/signalling/Frame.h"

namespace intercom {

FrameBuilder::FrameBuilder(std::int32_t code, std::size_t payloadCapacity) {
    frame_.reserve(kFrameHeaderSize +
                   std::min(payloadCapacity, static_cast<std::size_t>(kMaxFrameLength)));
    // The length is filled in by `finish`, once the size is known.
    frame_.resize(kInt32Size);
    integer(code);
}

FrameBuilder::FrameBuilder(Message type, std::size_t payloadCapacity)
    : FrameBuilder(rawValue(type), payloadCapacity) {}

FrameBuilder& FrameBuilder::integer(std::int64_t value) {
    const auto field = int32Data(value);
    if (!field) {
        refused_ = true;
        return *this;
    }
    return bytes(*field);
}

FrameBuilder& FrameBuilder::flag(bool value) {
    return integer(value ? 1 : 0);
}

FrameBuilder& FrameBuilder::bytes(std::span<const std::uint8_t> data) {
    // Checked before growing, so an oversized field never costs its own size in memory.
    const auto length = frame_.size() - kInt32Size;
    if (refused_ || data.size() > static_cast<std::size_t>(kMaxFrameLength) - length) {
        refused_ = true;
        return *this;
    }
    frame_.insert(frame_.end(), data.begin(), data.end());
    return *this;
}

FrameBuilder& FrameBuilder::text(std::string_view utf8) {
    return bytes({reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()});
}

std::optional<Bytes> FrameBuilder::finish() {
    if (refused_) {
        return std::nullopt;
    }
    const auto length = int32Data(static_cast<std::int64_t>(frame_.size() - kInt32Size));
    std::copy(length->begin(), length->end(), frame_.begin());
    return std::move(frame_);
}

std::optional<Bytes> makeFrame(std::int32_t code, std::span<const std::uint8_t> payload) {
    return FrameBuilder(code, payload.size()).bytes(payload).finish();
}

std::optional<Bytes> makeFrame(Message type, std::span<const std::uint8_t> payload) {
    return makeFrame(rawValue(type), payload);
}

}  // namespace intercom
