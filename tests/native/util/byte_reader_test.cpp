// The bounds-checked little-endian reader: values in little-endian order at
// every width, and short reads reported (with the position and the output left
// as they were) at the end, past the end and where offset plus size overflows.
#include "util/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace zel {
namespace {

constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();

const std::vector<std::uint8_t> kEight = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

TEST(ByteReader, ReadsLittleEndianAtEveryWidth) {
    ByteReader r(kEight);
    std::uint16_t u16 = 0;
    ASSERT_TRUE(r.readU16(u16));
    EXPECT_EQ(u16, 0x0201u);
    EXPECT_EQ(r.position(), 2u);
    std::uint32_t u32 = 0;
    ASSERT_TRUE(r.readU32(u32));
    EXPECT_EQ(u32, 0x06050403u);
    EXPECT_EQ(r.position(), 6u);
    ASSERT_TRUE(r.readU16(u16));
    EXPECT_EQ(u16, 0x0807u);
    EXPECT_EQ(r.remaining(), 0u);

    std::uint64_t u64 = 0;
    ByteReader whole(kEight);
    ASSERT_TRUE(whole.readU64(u64));
    EXPECT_EQ(u64, 0x0807060504030201u);
}

// Bytes with the top bit set, in the highest byte of each width, must not
// be sign-extended or lose their top bits on the way into the value.
TEST(ByteReader, HighBytesKeepTheirBits) {
    const std::vector<std::uint8_t> top = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80};
    const std::vector<std::uint8_t> ones(8, 0xFF);
    std::uint64_t u64 = 0;
    ASSERT_TRUE(ByteReader(top).readU64(u64));
    EXPECT_EQ(u64, 0x8000000000000000u);
    ASSERT_TRUE(ByteReader(ones).readU64(u64));
    EXPECT_EQ(u64, 0xFFFFFFFFFFFFFFFFu);
    std::uint32_t u32 = 0;
    ASSERT_TRUE(ByteReader(top, 4).readU32(u32));
    EXPECT_EQ(u32, 0x80000000u);
    std::uint16_t u16 = 0;
    ASSERT_TRUE(ByteReader(top, 6).readU16(u16));
    EXPECT_EQ(u16, 0x8000u);
    ASSERT_TRUE(ByteReader(ones).readU16(u16));
    EXPECT_EQ(u16, 0xFFFFu);
}

// A read of `width` bytes from a reader over `size` bytes starting at `pos`.
struct ShortReadCase {
    std::size_t size;
    std::size_t pos;
};

// For every width: one byte too few at each possible start, the position
// exactly at the end, past it, and positions near the largest size_t whose
// sum with the width wraps around.
template <typename T, bool (ByteReader::*Read)(T&)>
void ExpectShortReads(std::size_t width) {
    std::vector<ShortReadCase> cases;
    for (std::size_t size = 0; size < width; ++size) cases.push_back({size, 0});
    for (std::size_t pos = 1; pos <= width; ++pos) cases.push_back({8, 8 - width + pos});
    cases.push_back({8, 9});
    cases.push_back({8, 1000});
    for (std::size_t back = 0; back <= width; ++back) cases.push_back({8, kMax - back});

    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << width << ", size " << c.size << ", pos " << c.pos);
        ByteReader r(std::span<const std::uint8_t>(kEight).first(c.size), c.pos);
        T value = static_cast<T>(0x5A5A5A5A5A5A5A5Au);
        EXPECT_FALSE((r.*Read)(value));
        EXPECT_EQ(value, static_cast<T>(0x5A5A5A5A5A5A5A5Au));
        EXPECT_EQ(r.position(), c.pos);
        EXPECT_EQ(r.remaining(), c.pos <= c.size ? c.size - c.pos : 0);
    }
    // The last full value right before the end reads, and then nothing does.
    ByteReader r(kEight, 8 - width);
    T value = 0;
    EXPECT_TRUE((r.*Read)(value));
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_FALSE((r.*Read)(value));
}

TEST(ByteReader, ShortReadsAtEveryWidth) {
    ExpectShortReads<std::uint16_t, &ByteReader::readU16>(2);
    ExpectShortReads<std::uint32_t, &ByteReader::readU32>(4);
    ExpectShortReads<std::uint64_t, &ByteReader::readU64>(8);
}

TEST(ByteReader, ReadBytes) {
    ByteReader r(kEight, 2);
    std::span<const std::uint8_t> out;
    ASSERT_TRUE(r.readBytes(3, out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out.data(), kEight.data() + 2);
    EXPECT_EQ(r.position(), 5u);

    // Zero bytes read anywhere up to the end, the end included.
    ASSERT_TRUE(r.readBytes(0, out));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(r.readBytes(3, out));
    ASSERT_TRUE(r.readBytes(0, out));
    EXPECT_EQ(r.position(), 8u);
}

TEST(ByteReader, ReadBytesShortTable) {
    struct Case {
        std::size_t pos;
        std::size_t count;
    };
    // Too many bytes; counts whose sum with the position wraps around (5 +
    // (kMax - 4) is 0); zero bytes from a position past the end, which would
    // hand out a span outside the bytes.
    const Case cases[] = {
        {0, 9}, {5, 4},    {8, 1},    {0, kMax},     {1, kMax},     {5, kMax - 4},
        {9, 0}, {kMax, 0}, {kMax, 1}, {kMax - 1, 2}, {kMax - 7, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pos " << c.pos << ", count " << c.count);
        ByteReader r(kEight, c.pos);
        const std::span<const std::uint8_t> before(kEight.data() + 1, 1);
        std::span<const std::uint8_t> out = before;
        EXPECT_FALSE(r.readBytes(c.count, out));
        EXPECT_EQ(out.data(), before.data());
        EXPECT_EQ(out.size(), before.size());
        EXPECT_EQ(r.position(), c.pos);
    }
}

TEST(ByteReader, Seek) {
    ByteReader r(kEight);
    EXPECT_TRUE(r.seek(8));
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_TRUE(r.seek(6));
    std::uint16_t u16 = 0;
    ASSERT_TRUE(r.readU16(u16));
    EXPECT_EQ(u16, 0x0807u);
    for (const std::size_t pos : {std::size_t{9}, kMax - 1, kMax}) {
        EXPECT_FALSE(r.seek(pos)) << pos;
        EXPECT_EQ(r.position(), 8u);
    }
}

}  // namespace
}  // namespace zel
