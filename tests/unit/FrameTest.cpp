#include <gtest/gtest.h>

#include <cstdint>
#include <span>

#include "net/signalling/Frame.h"
#include "net/signalling/FrameBuilder.h"
#include "support/Hex.h"

using namespace intercom;
using intercom::test::bytesFromHex;
using intercom::test::hex;

namespace {

Frame split(std::string_view text) {
    const auto frame = splitFrame(bytesFromHex(text));
    EXPECT_TRUE(frame) << text;
    return frame.value_or(Frame{});
}

}  // namespace

TEST(FrameSplit, EightBytesGiveTheTypeAndAnEmptyPayload) {
    const auto frame = split("00 00 00 04 00 00 00 01");
    EXPECT_EQ(frame.type, Message::ping);
    EXPECT_TRUE(frame.payload.empty());
}

TEST(FrameSplit, EverythingAfterTheTypeIsThePayload) {
    const auto frame = split("00 00 00 0C 00 00 00 18 00 00 00 05 5B 5D");
    EXPECT_EQ(frame.type, Message::channelListenersChange);
    EXPECT_EQ(hex(frame.payload), "00 00 00 05 5B 5D");
}

TEST(FrameSplit, CodesWithNoCaseBecomeUnknownAndKeepTheirPayload) {
    for (const auto* type : {"00 00 00 19", "FF FF FC 19", "00 00 00 13", "00 00 00 2D",
                             "00 00 00 4F", "00 00 00 51", "FF FF FF FE", "FF FF FF FF"}) {
        const auto frame = split(std::string("00 00 00 06 ") + type + " AB CD");
        EXPECT_EQ(frame.type, Message::unknown) << type;
        EXPECT_EQ(hex(frame.payload), "AB CD") << type;
    }
}

TEST(FrameSplit, ChunksShorterThanLengthAndTypeGiveNoFrame) {
    const Bytes buffer = bytesFromHex("00 00 00 04 00 00 00 01");
    for (std::size_t size = 0; size < buffer.size(); ++size) {
        EXPECT_EQ(splitFrame(std::span<const std::uint8_t>(buffer).first(size)), std::nullopt);
    }
}

TEST(FrameBuilding, AnyCodeAndPayloadMakeAWholeFrame) {
    EXPECT_EQ(hex(*makeFrame(Message::sceneBind, bytesFromHex("00 00 00 01"))),
              "00 00 00 08 00 00 00 00 00 00 00 01");
    EXPECT_EQ(hex(*makeFrame(99, {})), "00 00 00 04 00 00 00 63");
    EXPECT_EQ(hex(*makeFrame(-999, {})), "00 00 00 04 FF FF FC 19");
    const auto built = FrameBuilder(Message::userOnline).integer(-2).flag(true).text("ok").finish();
    EXPECT_EQ(hex(*built), "00 00 00 0E 00 00 00 1E FF FF FF FE 00 00 00 01 6F 6B");
}

TEST(FrameBuilding, AFrameThatCannotGoOutAsAskedIsRefusedWhole) {
    EXPECT_EQ(FrameBuilder(Message::userOnline).integer(1LL << 32).integer(5).finish(),
              std::nullopt);
    const Bytes big(static_cast<std::size_t>(kMaxFrameLength) - 3, 0);
    EXPECT_EQ(makeFrame(Message::audioData, big), std::nullopt);
    EXPECT_EQ(makeFrame(Message::audioData, std::span(big).first(big.size() - 1))->size(),
              static_cast<std::size_t>(kMaxFrameLength) + 4);
}
