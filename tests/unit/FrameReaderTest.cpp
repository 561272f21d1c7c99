#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "net/signalling/FrameBuilder.h"
#include "net/signalling/FrameReader.h"
#include "support/Hex.h"

using namespace intercom;
using intercom::test::bytesFromHex;

namespace {

using Chunk = std::span<const std::uint8_t>;

// Everything the reader hands out after each chunk in turn.
std::vector<Frame> readAll(FrameReader& reader, const std::vector<Chunk>& chunks) {
    std::vector<Frame> frames;
    for (const auto chunk : chunks) {
        reader.append(chunk);
        while (auto frame = reader.next()) {
            frames.push_back(std::move(*frame));
        }
    }
    return frames;
}

std::vector<Frame> readAll(const std::vector<Chunk>& chunks) {
    FrameReader reader;
    auto frames = readAll(reader, chunks);
    EXPECT_FALSE(reader.isBroken());
    return frames;
}

// The stream cut before each position in `cuts` (ascending, inside the stream).
std::vector<Chunk> cutAt(const Bytes& stream, const std::vector<std::size_t>& cuts) {
    std::vector<Chunk> chunks;
    std::size_t start = 0;
    for (const auto cut : cuts) {
        chunks.push_back(Chunk(stream).subspan(start, cut - start));
        start = cut;
    }
    chunks.push_back(Chunk(stream).subspan(start));
    return chunks;
}

Bytes join(const std::vector<Bytes>& frames) {
    Bytes stream;
    for (const auto& frame : frames) {
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

Frame frameOf(Message type, const Bytes& payload) {
    return Frame{type, payload};
}

}  // namespace

TEST(FrameReader, ShortStreamCutInEveryPossibleWayGivesTheSameFrames) {
    // 19 bytes: all 2^18 ways of cutting them into chunks.
    const Bytes stream = join({bytesFromHex("00 00 00 04 00 00 00 01"),
                               bytesFromHex("00 00 00 07 00 00 00 1E 00 00 2A")});
    const std::vector<Frame> expected = {frameOf(Message::ping, {}),
                                         frameOf(Message::userOnline, bytesFromHex("00 00 2A"))};
    const auto gaps = stream.size() - 1;
    for (std::uint32_t mask = 0; mask < (1u << gaps); ++mask) {
        std::vector<std::size_t> cuts;
        for (std::size_t gap = 0; gap < gaps; ++gap) {
            if (mask & (1u << gap)) {
                cuts.push_back(gap + 1);
            }
        }
        const auto frames = readAll(cutAt(stream, cuts));
        if (frames != expected) {
            ADD_FAILURE() << "cut mask " << mask;
            return;
        }
    }
}

TEST(FrameReader, LongerStreamCutAtAnyTwoPlacesGivesTheSameFrames) {
    const Bytes voice(64, 0x3C);
    const Bytes name = bytesFromHex("E5 BC A0 E4 BC 9F");
    const std::vector<Bytes> built = {
        *makeFrame(Message::sceneBind, bytesFromHex("00 00 00 01")),
        *makeFrame(Message::audioData, voice),
        *makeFrame(Message::ping, {}),
        *makeFrame(Message::callOnline, name),
        *makeFrame(25, bytesFromHex("01 02")),
        *makeFrame(Message::audioData, voice),
    };
    const std::vector<Frame> expected = {
        frameOf(Message::sceneBind, bytesFromHex("00 00 00 01")),
        frameOf(Message::audioData, voice),
        frameOf(Message::ping, {}),
        frameOf(Message::callOnline, name),
        frameOf(Message::unknown, bytesFromHex("01 02")),
        frameOf(Message::audioData, voice),
    };
    const Bytes stream = join(built);

    EXPECT_EQ(readAll({Chunk(stream)}), expected);
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        everyByte.push_back(cut);
    }
    EXPECT_EQ(readAll(cutAt(stream, everyByte)), expected);
    for (std::size_t first = 1; first < stream.size(); ++first) {
        for (std::size_t second = first; second < stream.size(); ++second) {
            // An empty chunk between the two cuts when they meet.
            if (readAll(cutAt(stream, {first, second})) != expected) {
                ADD_FAILURE() << "cuts at " << first << " and " << second;
                return;
            }
        }
    }
}

TEST(FrameReader, HandsOutOneFrameAtATime) {
    const Bytes stream = join({*makeFrame(Message::ping, {}), *makeFrame(Message::tally, {})});
    FrameReader reader;
    reader.append(stream);
    EXPECT_EQ(reader.next(), frameOf(Message::ping, {}));
    EXPECT_EQ(reader.next(), frameOf(Message::tally, {}));
    EXPECT_EQ(reader.next(), std::nullopt);
    EXPECT_FALSE(reader.isBroken());
}

TEST(FrameReader, WaitsForTheRestOfAFrame) {
    const Bytes frame = *makeFrame(Message::audioData, Bytes(64, 0x3C));
    FrameReader reader;
    reader.append(Chunk(frame).first(3));
    EXPECT_EQ(reader.next(), std::nullopt);
    reader.append(Chunk(frame).subspan(3, 60));
    EXPECT_EQ(reader.next(), std::nullopt);
    EXPECT_FALSE(reader.isBroken());
    reader.append(Chunk(frame).subspan(63));
    EXPECT_EQ(reader.next(), frameOf(Message::audioData, Bytes(64, 0x3C)));
}

TEST(FrameReader, AcceptsTheLongestFrame) {
    const Bytes payload(static_cast<std::size_t>(kMaxFrameLength) - 4, 0x5A);
    const auto frame = makeFrame(Message::audioData, payload);
    ASSERT_TRUE(frame);
    EXPECT_EQ(readAll({Chunk(*frame).first(1000), Chunk(*frame).subspan(1000)}),
              std::vector<Frame>{frameOf(Message::audioData, payload)});
}

TEST(FrameReader, ABadLengthBreaksTheStreamAfterTheFramesBeforeIt) {
    for (const auto* length : {"00 00 00 00", "00 00 00 03", "FF FF FF FF", "80 00 00 00",
                               "00 10 00 01", "7F FF FF FF"}) {
        const Bytes stream = join(
            {*makeFrame(Message::ping, {}), bytesFromHex(length), *makeFrame(Message::ping, {})});
        FrameReader reader;
        const auto frames = readAll(reader, {Chunk(stream)});
        EXPECT_EQ(frames, std::vector<Frame>{frameOf(Message::ping, {})}) << length;
        EXPECT_TRUE(reader.isBroken()) << length;

        const auto good = *makeFrame(Message::ping, {});
        reader.append(good);
        EXPECT_EQ(reader.next(), std::nullopt) << length;
        EXPECT_TRUE(reader.isBroken());
    }
}

TEST(FrameReader, ABadLengthIsSeenBeforeItsBodyArrives) {
    FrameReader reader;
    reader.append(bytesFromHex("00 20 00 00"));
    EXPECT_EQ(reader.next(), std::nullopt);
    EXPECT_TRUE(reader.isBroken());
}
