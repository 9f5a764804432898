// The payload digests' XXH64, checked against the system's reference library.
#include "payload/xxh64.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace zel {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Every length around the 4-, 8- and 32-byte steps of the algorithm, a few large
// ones, and seeds that make the lane arithmetic wrap.
TEST(Xxh64Test, MatchesTheReferenceLibrary) {
    const std::vector<std::uint8_t> data = RandomBytes((1 << 20) + 77, 1);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 130; ++n) lengths.push_back(n);
    for (const std::size_t n : {255u, 256u, 4096u, 65537u, (1u << 20) + 77u}) lengths.push_back(n);
    for (const std::uint64_t seed : {0ull, 1ull, 0x9E3779B185EBCA87ull, ~0ull}) {
        for (const std::size_t n : lengths) {
            // An odd start offset as well, since the data is read unaligned.
            const std::span<const std::uint8_t> bytes(data.data() + (n % 3), n);
            ASSERT_EQ(Xxh64(bytes, seed), XXH64(bytes.data(), bytes.size(), seed))
                << "length " << n << " seed " << seed;
        }
    }
}

TEST(Xxh64Test, PiecesGiveTheSameDigestAsOneBuffer) {
    const std::vector<std::uint8_t> data = RandomBytes(10000, 2);
    for (const std::size_t piece : {1u, 3u, 31u, 32u, 33u, 64u, 4095u}) {
        Xxh64Stream stream(7);
        for (std::size_t at = 0; at < data.size(); at += piece) {
            stream.Update(std::span(data).subspan(at, std::min(piece, data.size() - at)));
            // The digest so far never disturbs what follows.
            if (at == piece * 5) {
                ASSERT_EQ(stream.Digest(), XXH64(data.data(), at + piece, 7)) << piece;
            }
        }
        EXPECT_EQ(stream.Digest(), XXH64(data.data(), data.size(), 7)) << "piece " << piece;
    }
    EXPECT_EQ(Xxh64Stream().Digest(), XXH64(nullptr, 0, 0));
}

}  // namespace
}  // namespace zel
