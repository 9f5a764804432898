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

// A block of noise repeated: compresses far enough that chunks end at 2 MiB of data.
std::vector<std::uint8_t> Repeated(std::size_t size, std::size_t period, unsigned seed) {
    const std::vector<std::uint8_t> block = test::Pseudorandom(period, seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = block[i % period];
    return bytes;
}

// Stored chunks end where an LZMA chunk of the same data reached its 64 KiB
// of compressed bytes, a little before 64 KiB of data: 3 header bytes for
// about every 60000 bytes, and the end marker.
constexpr std::size_t StoredSizeBound(std::size_t size) { return size + 3 * (size / 60000 + 1) + 1; }

const RoundTripCase kRoundTripCases[] = {
    {"empty", [] { return std::vector<std::uint8_t>{}; }, 64u << 20, 1},
    {"one byte", OneByte, 64u << 20, 16},
    {"two bytes",
     [] {
         return std::vector<std::uint8_t>{0, 0};
     },
     64u << 20, 16},
    // Noise falls back to stored chunks of at most 64 KiB.
    {"noise 300 KiB", [] { return test::Pseudorandom(300 << 10, 7); }, 64u << 20, StoredSizeBound(300 << 10)},
    {"noise 64 KiB - 1", [] { return test::Pseudorandom(65535, 8); }, 64u << 20, StoredSizeBound(65535)},
    {"noise 64 KiB", [] { return test::Pseudorandom(65536, 9); }, 64u << 20, StoredSizeBound(65536)},
    {"noise 64 KiB + 1", [] { return test::Pseudorandom(65537, 10); }, 64u << 20, StoredSizeBound(65537)},
    {"run 3 MiB", [] { return Run(3 << 20, 0); }, 64u << 20, 1000},
    {"run of one byte then another",
     [] {
         auto r = Run(100000, 'a');
         r.insert(r.end(), 70000, 'b');
         return r;
     },
     64u << 20, 200},
    // Text fills chunks up to their 64 KiB of compressed bytes.
    {"text 1 MiB", [] { return WordText(1 << 20, 3); }, 64u << 20, 0},
    {"repeats 2 MiB - 1", [] { return Repeated((2 << 20) - 1, 1000, 4); }, 64u << 20, 3000},
    {"repeats 2 MiB", [] { return Repeated(2 << 20, 1000, 5); }, 64u << 20, 3000},
    {"repeats 2 MiB + 1", [] { return Repeated((2 << 20) + 1, 1000, 6); }, 64u << 20, 3000},
    // Repeats lie farther back than a 4 KiB dictionary reaches: no match may use them.
    {"repeats beyond a small dictionary", [] { return Repeated(120000, 6000, 12); }, 4096, 0},
    {"repeats within a small dictionary", [] { return Repeated(120000, 3000, 13); }, 4096, 3000 + 1000},
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

// The control bytes of a stream's chunks, read from the LZMA2 framing alone; empty if the framing is broken.
std::vector<std::uint8_t> ChunkControls(const std::vector<std::uint8_t>& packed) {
    std::vector<std::uint8_t> controls;
    std::size_t at = 0;
    while (at < packed.size()) {
        const std::uint8_t control = packed[at];
        controls.push_back(control);
        if (control == 0x00) return at + 1 == packed.size() ? controls : std::vector<std::uint8_t>{};
        if (control == 0x01 || control == 0x02) {
            if (at + 3 > packed.size()) return {};
            at += 3 + ((std::size_t{packed[at + 1]} << 8) | packed[at + 2]) + 1;
        } else if (control >= 0x80) {
            if (at + 5 > packed.size()) return {};
            at += (control >= 0xC0 ? 6 : 5) + ((std::size_t{packed[at + 3]} << 8) | packed[at + 4]) + 1;
        } else {
            return {};
        }
    }
    return {};
}

TEST(Lzma2Encoder, StoredChunksWhereLzmaDoesNotPayThenLzmaAgain) {
    // Noise first (stored, the first resetting the dictionary), then text (LZMA with the
    // properties, which no chunk gave yet), noise (stored), text (LZMA from fresh probabilities).
    std::vector<std::uint8_t> input = test::Pseudorandom(200000, 41);
    for (const auto& piece : {WordText(400000, 42), test::Pseudorandom(300000, 43), WordText(400000, 44)}) {
        input.insert(input.end(), piece.begin(), piece.end());
    }
    const std::vector<std::uint8_t> packed = EncodeLzma2(input, {});
    std::vector<std::uint8_t> decoded;
    std::string error;
    ASSERT_TRUE(DecodeWithLiblzma(packed, 64u << 20, input.size(), decoded, error)) << error;
    EXPECT_TRUE(decoded == input);

    // Control bytes without the size bits, repeats folded; LZMA chunks that go on
    // from the one before (0x80) left out, as where they fall depends on the data.
    std::vector<std::uint8_t> kinds;
    for (const std::uint8_t control : ChunkControls(packed)) {
        const std::uint8_t kind = control >= 0x80 ? (control & 0xE0) : control;
        if (kind != 0x80 && (kinds.empty() || kinds.back() != kind)) kinds.push_back(kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::uint8_t>{0x01, 0x02, 0xC0, 0x02, 0xA0, 0x00}));
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
