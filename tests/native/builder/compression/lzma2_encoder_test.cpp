// Our LZMA2 encoder against liblzma's raw LZMA2 decoder: every stream must
// decode to the input with the dictionary size the caller gave, whatever the
// data (nothing, one byte, noise, runs, text, chunk-boundary sizes, a real PE
// library), and the same input must give the same bytes.
#include "builder/compression/lzma2_encoder.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "native/builder/test_support.h"

namespace zel {
namespace {

// Decodes with liblzma; empty optional-like result on a decoder error.
bool DecodeWithLiblzma(const std::vector<std::uint8_t>& packed, std::uint32_t dictionarySize, std::size_t expectedSize,
                       std::vector<std::uint8_t>& out, std::string& error) {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, 6)) {
        error = "no preset";
        return false;
    }
    options.dict_size = dictionarySize;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    // One byte more than expected, so that a stream that decodes to too much is seen.
    out.assign(expectedSize + 1, 0);
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    const lzma_ret ret =
        lzma_raw_buffer_decode(filters, nullptr, packed.data(), &inPos, packed.size(), out.data(), &outPos, out.size());
    if (ret != LZMA_OK) {
        error = "lzma_raw_buffer_decode returned " + std::to_string(ret);
        return false;
    }
    if (inPos != packed.size()) {
        error = "decoder stopped at byte " + std::to_string(inPos) + " of " + std::to_string(packed.size());
        return false;
    }
    out.resize(outPos);
    return true;
}

// Text-like bytes: words from a small vocabulary, so that matches of many lengths and distances occur.
std::vector<std::uint8_t> WordText(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {"setup ",   "install ",  "the ", "file ",  "folder ", "of ", "\r\n",
                                         "Windows ", "registry ", "key ", "value ", "a ",      "is ", "payload "};
    std::mt19937 random(seed);
    std::vector<std::uint8_t> text;
    text.reserve(size + 16);
    while (text.size() < size) {
        const char* w = kWords[random() % std::size(kWords)];
        while (*w != 0) text.push_back(static_cast<std::uint8_t>(*w++));
    }
    text.resize(size);
    return text;
}

// Compressible and incompressible stretches by turns: chunks of both kinds, and LZMA after stored data.
std::vector<std::uint8_t> Mixed(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes;
    unsigned part = 0;
    while (bytes.size() < size) {
        const auto piece = (part % 2 == 0) ? WordText(150000, seed + part) : test::Pseudorandom(90000, seed + part);
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        ++part;
    }
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> Run(std::size_t size, std::uint8_t value) { return std::vector<std::uint8_t>(size, value); }

std::vector<std::uint8_t> OneByte() { return {0x5A}; }

struct RoundTripCase {
    const char* name;
    std::vector<std::uint8_t> (*make)();
    std::uint32_t dictionarySize;
    std::size_t maxPackedSize;  // 0: no bound checked
};

const RoundTripCase kRoundTripCases[] = {
    {"empty", [] { return std::vector<std::uint8_t>{}; }, 64u << 20, 1},
    {"one byte", OneByte, 64u << 20, 16},
    {"two bytes",
     [] {
         return std::vector<std::uint8_t>{0, 0};
     },
     64u << 20, 16},
    // Noise must fall back to stored chunks: 3 header bytes per 64 KiB and the end marker.
    {"noise 300 KiB", [] { return test::Pseudorandom(300 << 10, 7); }, 64u << 20, (300 << 10) + 5 * 3 + 1},
    {"run 5 MiB", [] { return Run(5 << 20, 0); }, 64u << 20, 2000},
    {"run of one byte then another",
     [] {
         auto r = Run(100000, 'a');
         r.insert(r.end(), 70000, 'b');
         return r;
     },
     64u << 20, 200},
    {"text 1 MiB", [] { return WordText(1 << 20, 3); }, 64u << 20, 0},
    {"text 64 KiB - 1", [] { return WordText(65535, 4); }, 64u << 20, 0},
    {"text 64 KiB", [] { return WordText(65536, 5); }, 64u << 20, 0},
    {"text 64 KiB + 1", [] { return WordText(65537, 6); }, 64u << 20, 0},
    {"noise 64 KiB + 1", [] { return test::Pseudorandom(65537, 8); }, 64u << 20, 65537 + 2 * 3 + 1},
    {"text 2 MiB - 1", [] { return WordText((2 << 20) - 1, 9); }, 64u << 20, 0},
    {"text 2 MiB", [] { return WordText(2 << 20, 10); }, 64u << 20, 0},
    {"run 2 MiB + 1", [] { return Run((2 << 20) + 1, 0xFF); }, 64u << 20, 1000},
    {"text and noise by turns 3 MiB", [] { return Mixed(3 << 20, 11); }, 64u << 20, 0},
    // Repeats lie farther back than a 4 KiB dictionary reaches: no match may use them.
    {"repeats beyond a small dictionary",
     [] {
         auto block = test::Pseudorandom(6000, 12);
         std::vector<std::uint8_t> bytes;
         for (int i = 0; i < 20; ++i) bytes.insert(bytes.end(), block.begin(), block.end());
         return bytes;
     },
     4096, 0},
    {"repeats within a small dictionary",
     [] {
         auto block = test::Pseudorandom(3000, 13);
         std::vector<std::uint8_t> bytes;
         for (int i = 0; i < 40; ++i) bytes.insert(bytes.end(), block.begin(), block.end());
         return bytes;
     },
     4096, 3000 + 4000},
};

TEST(Lzma2Encoder, LiblzmaDecodesEveryCaseToTheInput) {
    for (const auto& c : kRoundTripCases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> input = c.make();
        Lzma2EncoderOptions options;
        options.dictionarySize = c.dictionarySize;
        const std::vector<std::uint8_t> packed = EncodeLzma2(input, options);
        std::vector<std::uint8_t> decoded;
        std::string error;
        ASSERT_TRUE(DecodeWithLiblzma(packed, c.dictionarySize, input.size(), decoded, error)) << error;
        EXPECT_TRUE(decoded == input) << "decoded " << decoded.size() << " bytes of " << input.size();
        if (c.maxPackedSize != 0) {
            EXPECT_LE(packed.size(), c.maxPackedSize);
        }
    }
}

std::filesystem::path WineLibrary(const char* name) {
    return std::filesystem::path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows") / name;
}

TEST(Lzma2Encoder, RealPeLibraryRoundTripsAndShrinks) {
    const auto path = WineLibrary("atl.dll");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed";
    const std::vector<std::uint8_t> input = test::ReadBytes(path);
    const std::vector<std::uint8_t> packed = EncodeLzma2(input, {});
    std::vector<std::uint8_t> decoded;
    std::string error;
    ASSERT_TRUE(DecodeWithLiblzma(packed, 64u << 20, input.size(), decoded, error)) << error;
    EXPECT_TRUE(decoded == input);
    EXPECT_LT(packed.size(), input.size() / 2);
}

TEST(Lzma2Encoder, SameInputGivesSameBytes) {
    const std::vector<std::uint8_t> input = Mixed(1 << 20, 21);
    const auto first = EncodeLzma2(input, {});
    const auto second = EncodeLzma2(input, {});
    EXPECT_TRUE(first == second);
}

TEST(Lzma2Encoder, OptionsAtTheirLimitsStillDecode) {
    const std::vector<std::uint8_t> input = WordText(300000, 31);
    struct Limits {
        std::uint32_t niceLength;
        std::uint32_t depth;
    };
    for (const Limits l : {Limits{0, 0}, Limits{8, 1}, Limits{273, 200}, Limits{1000, 4}}) {
        SCOPED_TRACE(testing::Message() << "nice " << l.niceLength << " depth " << l.depth);
        Lzma2EncoderOptions options;
        options.niceLength = l.niceLength;
        options.searchDepth = l.depth;
        std::vector<std::uint8_t> decoded;
        std::string error;
        ASSERT_TRUE(
            DecodeWithLiblzma(EncodeLzma2(input, options), options.dictionarySize, input.size(), decoded, error))
            << error;
        EXPECT_TRUE(decoded == input);
    }
}

TEST(Lzma2Encoder, DictionaryPropertyStatesTheSmallestSizeThatHoldsIt) {
    struct Case {
        std::uint32_t size;
        std::uint8_t property;
    };
    const Case cases[] = {{0, 0},
                          {1, 0},
                          {4096, 0},
                          {4097, 1},
                          {6144, 1},
                          {6145, 2},
                          {8u << 20, 22},
                          {(8u << 20) + 1, 23},
                          {64u << 20, 28},
                          {3u << 30, 39},
                          {(3u << 30) + 1, 40},
                          {0xFFFFFFFFu, 40}};
    for (const Case& c : cases) {
        EXPECT_EQ(Lzma2DictionaryProperty(c.size), c.property) << c.size;
    }
}

}  // namespace
}  // namespace zel
