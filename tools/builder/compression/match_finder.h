// Finds earlier occurrences of the bytes at each position of a block held in
// memory: a binary tree of the suffixes that share their first four bytes
// (rooted at the newest position), plus the newest positions of each 2- and
// 3-byte prefix for short, near matches. Positions are visited once each, in
// order, either to collect matches or only to be entered into the tree.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace zel::lzma {

inline constexpr std::uint32_t kMatchLenMin = 2;
inline constexpr std::uint32_t kMatchLenMax = 273;

// How many bytes a and b have in common from `from` on, up to limit; eight
// bytes at a time while eight remain.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from,
                                  std::uint32_t limit) {
    std::uint32_t len = from;
    while (len + 8 <= limit) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + len, 8);
        std::memcpy(&y, b + len, 8);
        const std::uint64_t diff = x ^ y;
        if (diff != 0) {
            const int bits =
                std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
            return len + static_cast<std::uint32_t>(bits / 8);
        }
        len += 8;
    }
    while (len < limit && a[len] == b[len]) ++len;
    return len;
}

struct Match {
    std::uint32_t length;
    std::uint32_t distance;  // bytes back minus one, as LZMA codes it
};

class MatchFinder {
public:
    // niceLength: matches this long end the search; depth: how many tree nodes one search visits at most.
    MatchFinder(std::span<const std::uint8_t> data, std::uint32_t dictionarySize, std::uint32_t niceLength,
                std::uint32_t depth);

    // The position the next call looks at.
    std::size_t Position() const { return pos_; }

    // Matches at Position() that each are longer than the one before and lie
    // farther back, then moves on. The longest reaching niceLength is extended
    // as far as it goes (up to kMatchLenMax).
    std::span<const Match> Find();

    // Enters the next count positions without collecting matches.
    void Skip(std::size_t count);

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

    std::uint32_t TreeSearch(std::uint32_t lenLimit, std::uint32_t bestLen, bool collect);

    std::span<const std::uint8_t> data_;
    std::uint32_t dictionarySize_;
    std::uint32_t niceLength_;
    std::uint32_t depth_;
    std::uint32_t hash4Shift_;
    std::size_t pos_ = 0;
    std::vector<std::uint32_t> head2_;
    std::vector<std::uint32_t> head3_;
    std::vector<std::uint32_t> head4_;
    std::unique_ptr<std::uint32_t[]> tree_;  // two children per position: smaller, larger
    std::vector<Match> matches_;
};

}  // namespace zel::lzma
