#include "builder/compression/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zel::lzma {

namespace {

constexpr std::uint32_t kHash2Bits = 10;
constexpr std::uint32_t kHash3Bits = 16;

inline std::uint32_t Read32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

MatchFinder::MatchFinder(std::span<const std::uint8_t> data, std::uint32_t dictionarySize, std::uint32_t niceLength,
                         std::uint32_t depth)
    : data_(data),
      dictionarySize_(dictionarySize),
      niceLength_(std::clamp(niceLength, 8u, kMatchLenMax)),
      depth_(std::max(depth, 1u)) {
    // About one 4-byte hash bucket for every two positions that can be reached.
    const std::size_t reach = std::min<std::size_t>(data.size(), dictionarySize);
    std::uint32_t hash4Bits = 16;
    while (hash4Bits < 24 && (std::size_t{1} << (hash4Bits + 1)) <= reach) ++hash4Bits;
    hash4Shift_ = 32 - hash4Bits;
    head2_.assign(std::size_t{1} << kHash2Bits, kEmpty);
    head3_.assign(std::size_t{1} << kHash3Bits, kEmpty);
    head4_.assign(std::size_t{1} << hash4Bits, kEmpty);
    // Each position's children are written when it enters the tree, before anything reads them.
    tree_ = std::make_unique_for_overwrite<std::uint32_t[]>(data.size() * 2);
    matches_.reserve(kMatchLenMax + 8);
}

std::uint32_t MatchFinder::TreeSearch(std::uint32_t lenLimit, std::uint32_t bestLen, bool collect) {
    const std::uint8_t* const cur = data_.data() + pos_;
    const auto pos = static_cast<std::uint32_t>(pos_);
    const std::uint32_t h4 = (Read32(cur) * 2654435761u) >> hash4Shift_;
    std::uint32_t candidate = head4_[h4];
    head4_[h4] = pos;

    // The new position becomes the root; the old tree is split around it into
    // the nodes smaller and larger than its bytes.
    std::uint32_t* smallerSlot = &tree_[2 * std::size_t{pos}];
    std::uint32_t* largerSlot = &tree_[2 * std::size_t{pos} + 1];
    std::uint32_t smallerLen = 0;
    std::uint32_t largerLen = 0;
    for (std::uint32_t visits = depth_;; --visits) {
        if (candidate == kEmpty || visits == 0 || pos - candidate > dictionarySize_) {
            *smallerSlot = kEmpty;
            *largerSlot = kEmpty;
            return bestLen;
        }
        const std::uint8_t* const old = data_.data() + candidate;
        const std::uint32_t len = CommonLength(cur, old, std::min(smallerLen, largerLen), lenLimit);
        std::uint32_t* const children = &tree_[2 * std::size_t{candidate}];
        if (len > bestLen) {
            bestLen = len;
            if (collect) matches_.push_back({len, pos - candidate - 1});
        }
        if (len == lenLimit) {
            // Equal as far as we look: the new node takes over the old one's children.
            *smallerSlot = children[0];
            *largerSlot = children[1];
            return bestLen;
        }
        if (old[len] < cur[len]) {
            *smallerSlot = candidate;
            smallerSlot = &children[1];
            candidate = children[1];
            smallerLen = len;
        } else {
            *largerSlot = candidate;
            largerSlot = &children[0];
            candidate = children[0];
            largerLen = len;
        }
    }
}

std::span<const Match> MatchFinder::Find() {
    matches_.clear();
    const std::size_t avail = data_.size() - pos_;
    if (avail < 4) {
        // The last few bytes are too short to hash; they are coded as literals.
        ++pos_;
        return {};
    }
    const std::uint8_t* const cur = data_.data() + pos_;
    const auto pos = static_cast<std::uint32_t>(pos_);
    const std::uint32_t lenLimit = static_cast<std::uint32_t>(std::min<std::size_t>(avail, niceLength_));
    const std::uint32_t two = cur[0] | (cur[1] << 8);
    const std::uint32_t h2 = (two * 0x9E3779B1u) >> (32 - kHash2Bits);
    const std::uint32_t h3 = ((two | (cur[2] << 16)) * 2654435761u) >> (32 - kHash3Bits);
    const std::uint32_t c2 = head2_[h2];
    const std::uint32_t c3 = head3_[h3];
    head2_[h2] = pos;
    head3_[h3] = pos;

    std::uint32_t bestLen = 1;
    if (c2 != kEmpty && pos - c2 <= dictionarySize_ && data_[c2] == cur[0] && data_[c2 + 1] == cur[1]) {
        bestLen = CommonLength(cur, data_.data() + c2, 2, lenLimit);
        matches_.push_back({bestLen, pos - c2 - 1});
    }
    if (c3 != kEmpty && c3 != c2 && pos - c3 <= dictionarySize_ && std::equal(cur, cur + 3, data_.data() + c3)) {
        const std::uint32_t len = CommonLength(cur, data_.data() + c3, 3, lenLimit);
        if (len > bestLen) {
            bestLen = len;
            matches_.push_back({len, pos - c3 - 1});
        }
    }
    if (bestLen < lenLimit) {
        bestLen = TreeSearch(lenLimit, bestLen, true);
    } else {
        TreeSearch(lenLimit, lenLimit, false);
    }
    if (!matches_.empty() && matches_.back().length == niceLength_) {
        Match& longest = matches_.back();
        const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::size_t>(avail, kMatchLenMax));
        longest.length = CommonLength(cur, cur - longest.distance - 1, longest.length, limit);
    }
    ++pos_;
    return matches_;
}

void MatchFinder::Skip(std::size_t count) {
    while (count-- > 0) {
        const std::size_t avail = data_.size() - pos_;
        if (avail >= 4) {
            const std::uint8_t* const cur = data_.data() + pos_;
            const auto pos = static_cast<std::uint32_t>(pos_);
            const std::uint32_t two = cur[0] | (cur[1] << 8);
            head2_[(two * 0x9E3779B1u) >> (32 - kHash2Bits)] = pos;
            head3_[((two | (cur[2] << 16)) * 2654435761u) >> (32 - kHash3Bits)] = pos;
            const std::uint32_t lenLimit = static_cast<std::uint32_t>(std::min<std::size_t>(avail, niceLength_));
            TreeSearch(lenLimit, lenLimit, false);
        }
        ++pos_;
    }
}

}  // namespace zel::lzma
