#include "builder/pe/pe_checksum.h"

#include <gtest/gtest.h>

#include <random>

#include "native/builder/test_support.h"

namespace zel {
namespace {

using namespace test;

// The reference sums 16-bit words with an end-around carry, byte by byte.
std::uint32_t ReferenceChecksum(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint32_t word = bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(bytes.size());
}

TEST(PeChecksumTest, MatchesWordSumWhateverThePieces) {
    for (const std::size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 4097u, 100003u}) {
        const std::vector<std::uint8_t> bytes = Pseudorandom(size, static_cast<unsigned>(size));
        std::mt19937 random(7);
        PeChecksum checksum;
        for (std::size_t at = 0; at < size;) {
            const std::size_t n = std::min<std::size_t>(size - at, random() % 9);
            checksum.Update({bytes.data() + at, n});
            at += n;
        }
        EXPECT_EQ(checksum.Finish(), ReferenceChecksum(bytes)) << size;
    }
    const std::vector<std::uint8_t> ones(4096, 0xFF);
    PeChecksum checksum;
    checksum.Update(ones);
    EXPECT_EQ(checksum.Finish(), ReferenceChecksum(ones));
}

}  // namespace
}  // namespace zel
