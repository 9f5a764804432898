// Builders on Linux and on Windows must write the same bytes for the same
// payload: the encoder's output for a fixed input is pinned by its size and
// a 64-bit FNV-1a hash, checked on both platforms. A deliberate change to the
// encoder's choices changes these figures; update them then, on purpose.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "builder/compression/lzma2_encoder.h"

namespace zel {
namespace {

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const std::uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

// Words, runs, noise and repeats, enough to use every kind of symbol and chunk.
std::vector<std::uint8_t> FixedInput() {
    std::mt19937 random(2024);
    std::vector<std::uint8_t> bytes;
    static const char* const kWords[] = {"install ", "setup ", "folder ", "file ", "key ", "\r\n", "the "};
    while (bytes.size() < 300000) {
        const char* w = kWords[random() % std::size(kWords)];
        while (*w != 0) bytes.push_back(static_cast<std::uint8_t>(*w++));
    }
    bytes.insert(bytes.end(), 100000, 0);
    for (int i = 0; i < 150000; ++i) bytes.push_back(static_cast<std::uint8_t>(random()));
    const std::vector<std::uint8_t> block(bytes.begin() + 1000, bytes.begin() + 9000);
    for (int i = 0; i < 30; ++i) {
        bytes.insert(bytes.end(), block.begin(), block.end());
        bytes[bytes.size() - 1 - (random() % block.size())] ^= 0x5A;
    }
    return bytes;
}

TEST(Lzma2EncoderIdentity, FixedInputGivesThePinnedBytes) {
    const std::vector<std::uint8_t> packed = EncodeLzma2(FixedInput(), {});
    EXPECT_EQ(packed.size(), 181637u);
    EXPECT_EQ(Fnv1a64(packed), 0x61766B165789635Dull);
}

}  // namespace
}  // namespace zel
