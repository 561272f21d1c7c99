#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>

#include "net/signalling/ByteOrder.h"
#include "support/Hex.h"

using intercom::bigEndianInt32;
using intercom::Bytes;
using intercom::int32Data;
using intercom::test::bytesFromHex;
using intercom::test::hex;

namespace {

std::string int32Hex(std::int64_t value) {
    const auto field = int32Data(value);
    return field ? hex(Bytes(field->begin(), field->end())) : "<none>";
}

}  // namespace

TEST(Int32Data, WritesTwosComplementMostSignificantFirst) {
    EXPECT_EQ(int32Hex(0), "00 00 00 00");
    EXPECT_EQ(int32Hex(7), "00 00 00 07");
    EXPECT_EQ(int32Hex(256), "00 00 01 00");
    EXPECT_EQ(int32Hex(-2), "FF FF FF FE");
    EXPECT_EQ(int32Hex(-10), "FF FF FF F6");
    EXPECT_EQ(int32Hex(2147483647), "7F FF FF FF");
    EXPECT_EQ(int32Hex(-2147483648LL), "80 00 00 00");
}

TEST(Int32Data, RefusesValuesOutsideThe32BitRange) {
    EXPECT_EQ(int32Data(2147483648LL), std::nullopt);
    EXPECT_EQ(int32Data(-2147483649LL), std::nullopt);
    EXPECT_EQ(int32Data(0x1'0000'0007LL), std::nullopt);  // would read back as 7
    EXPECT_EQ(int32Data(std::numeric_limits<std::int64_t>::max()), std::nullopt);
    EXPECT_EQ(int32Data(std::numeric_limits<std::int64_t>::min()), std::nullopt);
}

TEST(BigEndianInt32, ReadsTheFirstFourBytesWithTheirSign) {
    EXPECT_EQ(bigEndianInt32(bytesFromHex("80 00 00 00")), -2147483648LL);
    EXPECT_EQ(bigEndianInt32(bytesFromHex("7F FF FF FF")), 2147483647);
    EXPECT_EQ(bigEndianInt32(bytesFromHex("FF FF FF FE")), -2);
    EXPECT_EQ(bigEndianInt32(bytesFromHex("00 00 01 00")), 256);
    EXPECT_EQ(bigEndianInt32(bytesFromHex("00 00 00 05 FF FF")), 5);
}

TEST(BigEndianInt32, ReadsFromTheSlicesOwnStart) {
    const Bytes buffer = bytesFromHex("00 00 00 01 00 00 00 2A");
    const std::span<const std::uint8_t> all(buffer);
    EXPECT_EQ(bigEndianInt32(all.subspan(4, 4)), 42);
    EXPECT_EQ(bigEndianInt32(all.subspan(4)), 42);
    EXPECT_EQ(bigEndianInt32(all.subspan(2, 4)), 0x00010000);
}

TEST(BigEndianInt32, DataWithoutAWholeIntegerGivesMinus999) {
    EXPECT_EQ(bigEndianInt32({}), -999);
    const Bytes buffer = bytesFromHex("00 00 00 01 00 00 00 2A");
    EXPECT_EQ(bigEndianInt32(std::span<const std::uint8_t>(buffer).subspan(3, 0)), -999);
    EXPECT_EQ(bigEndianInt32(std::span<const std::uint8_t>(buffer).subspan(8)), -999);
    // Each in a heap block of exactly its size, so a read past the end trips the sanitizer.
    for (std::size_t size = 1; size <= 3; ++size) {
        const auto exact = std::make_unique<std::uint8_t[]>(size);
        EXPECT_EQ(bigEndianInt32({exact.get(), size}), -999) << size << " bytes";
    }
}

TEST(BigEndianInt32, ReadsBackWhatInt32DataWrote) {
    for (const std::int64_t value :
         {0LL, 1LL, -1LL, -999LL, 65536LL, 2147483647LL, -2147483648LL}) {
        EXPECT_EQ(bigEndianInt32(*int32Data(value)), value);
    }
}
