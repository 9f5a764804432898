// The LZMA2 block decoder against liblzma: every stream liblzma's raw encoder
// writes decodes to the original bytes, and damaged streams are refused
// without reading or writing out of bounds.
#include "payload/lzma/lzma2_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/random_bytes.h"
#include "native/payload/lzma/liblzma_oracle.h"
#include "native/payload/lzma/sample_data.h"

namespace zel {
namespace {

using test::EncodeLzma2;
using test::Lzma2Settings;
using test::Lzma2Stream;
using test::RandomBytes;

constexpr std::size_t kMiB = std::size_t{1} << 20;

struct Decoded {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
    std::size_t largestPiece = 0;
};

Decoded Decode(std::span<const std::uint8_t> stream, std::uint8_t property, bool x86, std::uint64_t size) {
    Decoded decoded;
    decoded.ok = DecodeLzma2Block(stream, property, x86, size, [&](std::span<const std::uint8_t> piece) {
        EXPECT_FALSE(piece.empty());
        decoded.bytes.insert(decoded.bytes.end(), piece.begin(), piece.end());
        decoded.largestPiece = std::max(decoded.largestPiece, piece.size());
        return true;
    });
    return decoded;
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string Describe(const Lzma2Settings& s) {
    return "preset " + std::to_string(s.preset & 0xFF) + ((s.preset & LZMA_PRESET_EXTREME) ? "e" : "") +
           " dictionary " + std::to_string(s.dictionarySize) + " lc/lp/pb " + std::to_string(s.lc) + "/" +
           std::to_string(s.lp) + "/" + std::to_string(s.pb) + (s.x86 ? " x86" : "");
}

void ExpectDecodesToOriginal(const std::vector<std::uint8_t>& data, const Lzma2Settings& settings,
                             const std::string& name) {
    const Lzma2Stream stream = EncodeLzma2(data, settings);
    const Decoded decoded = Decode(stream.bytes, stream.property, settings.x86, data.size());
    const std::string label = name + ", " + Describe(settings);
    ASSERT_TRUE(decoded.ok) << label;
    ASSERT_EQ(decoded.bytes.size(), data.size()) << label;
    ASSERT_TRUE(decoded.bytes == data) << label;
    EXPECT_LE(decoded.largestPiece, kMiB) << label;
}

TEST(Lzma2DecoderTest, DecodesWhatLiblzmaWrites) {
    struct Input {
        std::string name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Input> inputs = {
        {"empty", {}},
        {"one byte", {0x42}},
        {"random", RandomBytes(200000, 1)},  // stored chunks
        {"runs", test::SampleRuns(2 * kMiB + kMiB / 2, 2)},
        {"text", test::SampleText(600000, 3)},
        // Stored and LZMA chunks in turn, the LZMA ones starting with a state reset.
        {"mixed", Concat({RandomBytes(100000, 4), test::SampleText(200000, 5), RandomBytes(70000, 6),
                          test::SampleRuns(100000, 7)})},
    };
    if (std::vector<std::uint8_t> pe = test::SamplePe(); !pe.empty()) {
        inputs.push_back({"PE file", std::move(pe)});
    }
    const std::vector<Lzma2Settings> settings = {
        {.preset = 0},
        {.preset = 6, .dictionarySize = 4096, .x86 = true},  // the ring wraps every 4 KiB
        {.preset = 6, .dictionarySize = 64 << 10, .lc = 3, .lp = 1, .pb = 3},
        {.preset = 6, .dictionarySize = 1 << 20},
        {.preset = 9 | LZMA_PRESET_EXTREME, .dictionarySize = 64 << 20, .x86 = true},
        {.preset = 6, .lc = 0, .lp = 2, .pb = 0},
        {.preset = 6, .lc = 4, .lp = 0, .pb = 4, .x86 = true},
        {.preset = 1, .lc = 1, .lp = 3, .pb = 2},
    };
    for (const Input& input : inputs) {
        for (const Lzma2Settings& s : settings) ExpectDecodesToOriginal(input.bytes, s, input.name);
    }
}

// Sizes next to the stored chunks' 64 KiB, the LZMA chunks' 2 MiB, the 1 MiB
// pieces handed out, the filter's 64 KiB buffer and the ring's end.
TEST(Lzma2DecoderTest, DecodesSizesAroundEveryBoundary) {
    for (const std::size_t boundary : {std::size_t{65536}, std::size_t{131072}}) {
        for (const std::size_t size : {boundary - 1, boundary, boundary + 1}) {
            const std::vector<std::uint8_t> random = RandomBytes(size, static_cast<unsigned>(size));
            ExpectDecodesToOriginal(random, {.preset = 0}, "random " + std::to_string(size));
            ExpectDecodesToOriginal(random, {.preset = 0, .x86 = true}, "random " + std::to_string(size));
        }
    }
    for (const std::size_t boundary : {kMiB, 2 * kMiB}) {
        for (const std::size_t size : {boundary - 1, boundary, boundary + 1}) {
            const std::vector<std::uint8_t> runs = test::SampleRuns(size, static_cast<unsigned>(size));
            ExpectDecodesToOriginal(runs, {.preset = 0}, "runs " + std::to_string(size));
            ExpectDecodesToOriginal(runs, {.preset = 6, .dictionarySize = 4096, .x86 = true},
                                    "runs " + std::to_string(size));
        }
    }
    // Output a little larger than the dictionary: the ring wraps once, just before the end.
    for (const std::size_t size : {std::size_t{4095}, std::size_t{4096}, std::size_t{4097}, std::size_t{8193}}) {
        ExpectDecodesToOriginal(test::SampleText(size, 9), {.preset = 6, .dictionarySize = 4096},
                                "text " + std::to_string(size));
    }
}

// Streams joined after dropping the first one's end marker: the second starts
// with a dictionary reset and other properties; changed to keep the first
// one's dictionary, it must decode the same.
TEST(Lzma2DecoderTest, DecodesResetsAndPropertyChangesWithinAStream) {
    // 16 * n bytes ending in 0: the second stream's positions and "previous
    // byte" are then the same with and without the dictionary reset.
    std::vector<std::uint8_t> first = test::SampleText(100000, 11);
    first.back() = 0;
    const std::vector<std::uint8_t> second = test::SampleText(300000, 12);
    const std::vector<std::uint8_t> stored = RandomBytes(70000, 13);
    const Lzma2Settings firstSettings{.preset = 6, .dictionarySize = 1 << 20, .lc = 3, .lp = 0, .pb = 2};
    const Lzma2Settings secondSettings{.preset = 6, .dictionarySize = 1 << 20, .lc = 0, .lp = 2, .pb = 0};
    const Lzma2Stream a = EncodeLzma2(first, firstSettings);
    const Lzma2Stream b = EncodeLzma2(second, secondSettings);
    const Lzma2Stream c = EncodeLzma2(stored, secondSettings);
    ASSERT_EQ(a.property, b.property);
    ASSERT_GE(b.bytes[0], 0xE0);  // LZMA, resets everything
    ASSERT_EQ(c.bytes[0], 0x01);  // stored, resets the dictionary

    auto join = [](const Lzma2Stream& x, const Lzma2Stream& y, int firstControlOfY) {
        std::vector<std::uint8_t> joined(x.bytes.begin(), x.bytes.end() - 1);
        joined.insert(joined.end(), y.bytes.begin(), y.bytes.end());
        if (firstControlOfY >= 0) joined[x.bytes.size() - 1] = static_cast<std::uint8_t>(firstControlOfY);
        return joined;
    };
    const std::vector<std::uint8_t> ab = Concat({first, second});
    const std::vector<std::uint8_t> ac = Concat({first, stored});
    struct Case {
        std::string name;
        std::vector<std::uint8_t> stream;
        const std::vector<std::uint8_t>& expected;
    };
    const Case cases[] = {
        {"dictionary reset with new properties", join(a, b, -1), ab},
        {"new properties, dictionary kept", join(a, b, b.bytes[0] & ~0x20), ab},
        {"stored chunk resetting the dictionary", join(a, c, -1), ac},
        {"stored chunk, dictionary kept", join(a, c, 0x02), ac},
    };
    for (const Case& c : cases) {
        const Decoded decoded = Decode(c.stream, a.property, false, c.expected.size());
        ASSERT_TRUE(decoded.ok) << c.name;
        EXPECT_TRUE(decoded.bytes == c.expected) << c.name;
    }
}

TEST(Lzma2DecoderTest, DictionarySizeOfEachProperty) {
    EXPECT_EQ(Lzma2DictionarySize(0), 4096u);
    EXPECT_EQ(Lzma2DictionarySize(1), 6144u);
    EXPECT_EQ(Lzma2DictionarySize(18), 2u << 20);
    EXPECT_EQ(Lzma2DictionarySize(19), 3u << 20);
    EXPECT_EQ(Lzma2DictionarySize(39), 3u << 30);
    EXPECT_EQ(Lzma2DictionarySize(40), 0xFFFFFFFFu);
    EXPECT_EQ(Lzma2DictionarySize(41), std::nullopt);
    EXPECT_EQ(Lzma2DictionarySize(255), std::nullopt);
    // The property liblzma writes for a dictionary size stands for at least that size.
    for (const std::uint32_t size : {4096u, 5000u, 1u << 20, (1u << 20) + 1, 64u << 20, 1536u << 20, 0xFFFFFFFFu}) {
        const std::optional<std::uint32_t> decoded = Lzma2DictionarySize(test::Lzma2Property(size));
        ASSERT_TRUE(decoded.has_value()) << size;
        EXPECT_GE(*decoded, size);
        EXPECT_LT(*decoded / 3 * 2, size);
    }
}

}  // namespace
}  // namespace zel
