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
        {"runs", test::SampleRuns(kMiB, 2)},
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
        {.preset = 6, .lc = 0, .lp = 2, .pb = 0},
        {.preset = 6, .lc = 4, .lp = 0, .pb = 4, .x86 = true},
        {.preset = 1, .lc = 1, .lp = 3, .pb = 2},
    };
    for (const Input& input : inputs) {
        for (const Lzma2Settings& s : settings) ExpectDecodesToOriginal(input.bytes, s, input.name);
    }
    // The largest dictionary and the strongest preset: liblzma's match finder
    // for it is slow to set up, so with the two most varied inputs only.
    for (const Input& input : inputs) {
        if (input.name != "mixed" && input.name != "PE file") continue;
        ExpectDecodesToOriginal(
            input.bytes, {.preset = 9 | LZMA_PRESET_EXTREME, .dictionarySize = 64 << 20, .x86 = true}, input.name);
    }
}

// The uncompressed size of a stream's first chunk, read from its header.
std::size_t FirstChunkSize(const std::vector<std::uint8_t>& stream) {
    if (stream[0] >= 0x80) return (std::size_t{stream[0] & 0x1Fu} << 16 | std::size_t{stream[1]} << 8 | stream[2]) + 1;
    return (std::size_t{stream[1]} << 8 | stream[2]) + 1;
}

// Sizes next to the end of a stored chunk (where liblzma gives up compressing,
// short of 64 KiB), the LZMA chunks' 2 MiB, the 1 MiB pieces handed out, the
// filter's 64 KiB buffer and the ring's end.
TEST(Lzma2DecoderTest, DecodesSizesAroundEveryBoundary) {
    // Prefixes of one random sequence share their chunk boundaries.
    const std::vector<std::uint8_t> random = RandomBytes(3 * 65536, 1);
    const std::size_t stored = FirstChunkSize(EncodeLzma2(random, {.preset = 0}).bytes);
    ASSERT_GT(stored, 50000u);
    for (const std::size_t size : {stored - 1, stored, stored + 1, 2 * stored, 2 * stored + 1, std::size_t{65535},
                                   std::size_t{65536}, std::size_t{65537}}) {
        const std::vector<std::uint8_t> prefix(random.begin(), random.begin() + size);
        ExpectDecodesToOriginal(prefix, {.preset = 0}, "random " + std::to_string(size));
        ExpectDecodesToOriginal(prefix, {.preset = 0, .x86 = true}, "random " + std::to_string(size));
    }
    // LZMA chunks end at the last match that fits in 2 MiB.
    const std::vector<std::uint8_t> runs = test::SampleRuns(3 * kMiB, 2);
    const std::size_t chunk = FirstChunkSize(EncodeLzma2(runs, {.preset = 0}).bytes);
    ASSERT_GT(chunk, 2 * kMiB - 10000);
    for (const std::size_t size : {chunk - 1, chunk, chunk + 1, kMiB - 1, kMiB, kMiB + 1}) {
        const std::vector<std::uint8_t> prefix(runs.begin(), runs.begin() + size);
        ExpectDecodesToOriginal(prefix, {.preset = 0}, "runs " + std::to_string(size));
        ExpectDecodesToOriginal(prefix, {.preset = 6, .dictionarySize = 4096, .x86 = true},
                                "runs " + std::to_string(size));
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

// Every damaged copy is refused or decoded exactly as liblzma decodes it; under
// ASan and UBSan, nothing is touched outside the buffers either way.
void ExpectSameVerdictAsLiblzma(std::span<const std::uint8_t> stream, std::uint8_t property, bool x86, std::size_t size,
                                const std::string& label) {
    const Decoded ours = Decode(stream, property, x86, size);
    std::vector<std::uint8_t> theirs;
    const bool liblzmaAccepts = test::LiblzmaAccepts(stream, *Lzma2DictionarySize(property), x86, size, theirs);
    ASSERT_EQ(ours.ok, liblzmaAccepts) << label;
    if (ours.ok) {
        ASSERT_TRUE(ours.bytes == theirs) << label;
    }
}

TEST(Lzma2DecoderTest, RefusesDamagedStreamsAsLiblzmaDoes) {
    // Stored and LZMA chunks, x86 filtered, with a dictionary that wraps.
    const std::vector<std::uint8_t> data =
        Concat({test::SampleText(20000, 21), RandomBytes(3000, 22), test::SampleRuns(20000, 23)});
    const Lzma2Settings settings{.preset = 6, .dictionarySize = 4096, .x86 = true};
    const Lzma2Stream stream = EncodeLzma2(data, settings);
    ASSERT_TRUE(Decode(stream.bytes, stream.property, true, data.size()).ok);

    for (std::size_t length = 0; length < stream.bytes.size(); length += length < 300 ? 1 : 7) {
        const std::span<const std::uint8_t> truncated(stream.bytes.data(), length);
        ASSERT_FALSE(Decode(truncated, stream.property, true, data.size()).ok) << "truncated to " << length;
    }
    std::mt19937 random(24);
    for (int flip = 0; flip < 1500; ++flip) {
        // The first chunk's header and range coder start more often than their share.
        const std::size_t at = flip < 500 ? flip % 16 : random() % stream.bytes.size();
        std::vector<std::uint8_t> damaged = stream.bytes;
        damaged[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        ExpectSameVerdictAsLiblzma(damaged, stream.property, true, data.size(), "bit flip at " + std::to_string(at));
    }
    for (const std::uint8_t extra : {0x00, 0x01, 0xFF}) {
        std::vector<std::uint8_t> trailing = stream.bytes;
        trailing.push_back(extra);
        EXPECT_FALSE(Decode(trailing, stream.property, true, data.size()).ok) << "trailing " << int{extra};
    }
    for (const std::size_t size : {std::size_t{0}, data.size() - 1, data.size() + 1, data.size() * 2}) {
        EXPECT_FALSE(Decode(stream.bytes, stream.property, true, size).ok) << "size " << size;
    }
}

TEST(Lzma2DecoderTest, RefusesADictionaryTooSmallForTheMatches) {
    // A 64 KiB block repeated: its matches reach 64 KiB back.
    const std::vector<std::uint8_t> block = RandomBytes(65536, 31);
    const std::vector<std::uint8_t> data = Concat({block, block, block});
    const Lzma2Stream stream = EncodeLzma2(data, {.preset = 6, .dictionarySize = 1 << 20});
    EXPECT_TRUE(Decode(stream.bytes, stream.property, false, data.size()).ok);
    EXPECT_FALSE(Decode(stream.bytes, test::Lzma2Property(32768), false, data.size()).ok);
    for (const std::uint8_t property : {41, 42, 255}) {
        EXPECT_FALSE(Decode(stream.bytes, property, false, data.size()).ok) << int{property};
    }
}

// Chunk headers that break LZMA2's rules, each one case.
TEST(Lzma2DecoderTest, RefusesMalformedChunkHeaders) {
    const std::vector<std::uint8_t> text = test::SampleText(1000, 41);
    const Lzma2Stream lzma = EncodeLzma2(text, {.preset = 6});
    ASSERT_GE(lzma.bytes[0], 0xE0);
    ASSERT_EQ(lzma.bytes[5], 0x5D);  // lc 3, lp 0, pb 2 after the 5 header bytes before it
    auto with = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> bytes = lzma.bytes;
        bytes[at] = value;
        return bytes;
    };
    const std::vector<std::uint8_t> oneStored = {0x01, 0x00, 0x00, 'x', 0x00};
    struct Case {
        std::string name;
        std::vector<std::uint8_t> stream;
        std::size_t size;
    };
    const Case cases[] = {
        {"no input", {}, 0},
        {"no end marker", {0x01, 0x00, 0x00, 'x'}, 1},
        {"stored chunk without the first dictionary reset", {0x02, 0x00, 0x00, 'x', 0x00}, 1},
        {"LZMA chunk without the first dictionary reset", with(0, 0xC0), text.size()},
        {"LZMA chunk without properties", with(0, 0xA0), text.size()},
        {"invalid control byte", {0x03, 0x00, 0x00, 'x', 0x00}, 1},
        {"control byte 0x7F", {0x7F, 0x00}, 0},
        {"lc + lp above 4", with(5, 2 * 45 + 1 * 9 + 4), text.size()},
        {"properties byte above 224", with(5, 225), text.size()},
        {"range coder not starting with 0", with(6, 0x01), text.size()},
        {"packed size beyond the input", with(4, 0xFF), text.size()},
        {"packed size short of the data", with(4, static_cast<std::uint8_t>(lzma.bytes[4] - 1)), text.size()},
        {"stored chunk beyond the input", {0x01, 0x00, 0x05, 'x', 0x00}, 1},
        {"stored chunk larger than the output", oneStored, 0},
        {"LZMA chunk larger than the output", lzma.bytes, text.size() - 1},
        // LZMA data that decodes but needs a dictionary byte before the first one.
        {"match before any byte was written",
         {0xE0, 0x00, 0x01, 0x00, 0x06, 0x5D, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00},
         2},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Decode(c.stream, 0, false, c.size).ok) << c.name;
        std::vector<std::uint8_t> ignored;
        EXPECT_FALSE(test::LiblzmaAccepts(c.stream, 4096, false, c.size, ignored)) << "liblzma takes " << c.name;
    }
    EXPECT_TRUE(Decode(oneStored, 0, false, 1).ok);
    EXPECT_TRUE(Decode(std::vector<std::uint8_t>{0x00}, 0, false, 0).ok);
}

// `out` may stop the decoding at any piece; nothing more is handed on then.
TEST(Lzma2DecoderTest, StopsWhenTheReceiverSaysSo) {
    const std::vector<std::uint8_t> data = test::SampleRuns(3 * kMiB, 51);
    for (const bool x86 : {false, true}) {
        const Lzma2Stream stream = EncodeLzma2(data, {.preset = 0, .x86 = x86});
        for (const int stopAt : {1, 2, 3}) {
            int calls = 0;
            const bool ok = DecodeLzma2Block(stream.bytes, stream.property, x86, data.size(),
                                             [&](std::span<const std::uint8_t>) { return ++calls < stopAt; });
            EXPECT_FALSE(ok);
            EXPECT_EQ(calls, stopAt) << "x86 " << x86;
        }
    }
}

}  // namespace
}  // namespace zel
