// Feeds arbitrary bytes to the frame split and to the stream reader, cut into chunks in a way
// the input also chooses, and checks that the reader agrees with itself and with the bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "net/signalling/ByteOrder.h"
#include "net/signalling/Frame.h"
#include "net/signalling/FrameBuilder.h"
#include "net/signalling/FrameReader.h"

using namespace intercom;

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

struct Reading {
    std::vector<Frame> frames;
    bool broken = false;
};

Reading read(std::span<const std::uint8_t> stream, std::uint8_t seed) {
    FrameReader reader;
    Reading reading;
    std::size_t offset = 0;
    std::uint32_t state = seed;
    while (offset < stream.size()) {
        // Chunk sizes from 0 to 31 bytes, some empty, in a sequence the seed picks.
        state = state * 1103515245u + 12345u;
        const auto size = std::min<std::size_t>((state >> 16) % 32, stream.size() - offset);
        reader.append(stream.subspan(offset, size));
        offset += size;
        while (auto frame = reader.next()) {
            reading.frames.push_back(std::move(*frame));
        }
    }
    reading.broken = reader.isBroken();
    check(!reader.next());
    return reading;
}

// The frames must be exactly the stream's own, in order, each with its looked-up type.
void checkAgainstStream(const Reading& reading, std::span<const std::uint8_t> stream) {
    std::size_t offset = 0;
    for (const auto& frame : reading.frames) {
        const auto length = bigEndianInt32(stream.subspan(offset, 4));
        check(length >= kMinFrameLength && length <= kMaxFrameLength);
        const auto whole = stream.subspan(offset, static_cast<std::size_t>(length) + 4);
        const auto code = bigEndianInt32(whole.subspan(4, 4));
        check(frame.type == messageFromCode(code).value_or(Message::unknown));
        check(frame.payload.size() == whole.size() - kFrameHeaderSize);
        check(std::equal(frame.payload.begin(), frame.payload.end(), whole.begin() + 8));
        const auto rebuilt = makeFrame(static_cast<std::int32_t>(code), frame.payload);
        check(rebuilt && std::equal(rebuilt->begin(), rebuilt->end(), whole.begin(), whole.end()));
        offset += whole.size();
    }
    const auto rest = stream.subspan(offset);
    const auto next = bigEndianInt32(rest);
    if (reading.broken) {
        check(rest.size() >= 4 && (next < kMinFrameLength || next > kMaxFrameLength));
    } else {
        check(rest.size() < 4 || rest.size() < static_cast<std::size_t>(next) + 4);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);

    const auto whole = splitFrame(input);
    check(whole.has_value() == (size >= kFrameHeaderSize));
    if (whole) {
        check(whole->payload.size() == size - kFrameHeaderSize);
    }

    if (size == 0) {
        return 0;
    }
    const auto stream = input.subspan(1);
    const auto inChunks = read(stream, input[0]);
    checkAgainstStream(inChunks, stream);
    const auto inOnePiece = read(stream, 0);
    check(inChunks.frames == inOnePiece.frames && inChunks.broken == inOnePiece.broken);
    return 0;
}
