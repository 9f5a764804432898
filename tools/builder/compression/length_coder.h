// How LZMA codes a match length (2..273): a choice bit for 2..9, a second for
// 10..17, then 3 bits per position state or 8 bits for the rest. Matches and
// rep matches each have one. Keeps a table of prices per position state,
// refreshed after as many uses as it has entries, so that the parser prices
// lengths in one look-up.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "builder/compression/bit_price.h"
#include "builder/compression/match_finder.h"
#include "builder/compression/range_encoder.h"

namespace zel::lzma {

inline constexpr int kPosStates = 4;  // pb = 2

class LengthCoder {
public:
    // Prices are kept for lengths up to tableLength (the parser's nice length).
    void Reset(std::uint32_t tableLength) {
        choice_ = kProbInit;
        choice2_ = kProbInit;
        for (auto& probs : low_) probs.fill(kProbInit);
        for (auto& probs : mid_) probs.fill(kProbInit);
        high_.fill(kProbInit);
        tableSize_ = std::min(tableLength, kMatchLenMax) - kMatchLenMin + 1;
        for (int ps = 0; ps < kPosStates; ++ps) UpdatePrices(ps);
    }

    void Encode(RangeEncoder& rc, std::uint32_t length, int posState) {
        const std::uint32_t l = length - kMatchLenMin;
        if (l < 8) {
            rc.EncodeBit(choice_, 0);
            rc.EncodeBitTree(low_[posState].data(), 3, l);
        } else if (l < 16) {
            rc.EncodeBit(choice_, 1);
            rc.EncodeBit(choice2_, 0);
            rc.EncodeBitTree(mid_[posState].data(), 3, l - 8);
        } else {
            rc.EncodeBit(choice_, 1);
            rc.EncodeBit(choice2_, 1);
            rc.EncodeBitTree(high_.data(), 8, l - 16);
        }
        if (--counters_[posState] == 0) UpdatePrices(posState);
    }

    std::uint32_t Price(std::uint32_t length, int posState) const {
        const std::uint32_t l = length - kMatchLenMin;
        if (l < tableSize_) return prices_[posState][l];
        return ComputePrice(l, posState);
    }

private:
    std::uint32_t ComputePrice(std::uint32_t l, int posState) const {
        if (l < 8) return BitPrice0(choice_) + BitTreePrice(low_[posState].data(), 3, l);
        if (l < 16) return BitPrice1(choice_) + BitPrice0(choice2_) + BitTreePrice(mid_[posState].data(), 3, l - 8);
        return BitPrice1(choice_) + BitPrice1(choice2_) + BitTreePrice(high_.data(), 8, l - 16);
    }

    void UpdatePrices(int posState) {
        for (std::uint32_t l = 0; l < tableSize_; ++l) prices_[posState][l] = ComputePrice(l, posState);
        counters_[posState] = tableSize_;
    }

    std::uint16_t choice_ = kProbInit;
    std::uint16_t choice2_ = kProbInit;
    std::array<std::array<std::uint16_t, 8>, kPosStates> low_{};
    std::array<std::array<std::uint16_t, 8>, kPosStates> mid_{};
    std::array<std::uint16_t, 256> high_{};
    std::uint32_t tableSize_ = 0;
    std::array<std::uint32_t, kPosStates> counters_{};
    std::array<std::array<std::uint32_t, kMatchLenMax - kMatchLenMin + 1>, kPosStates> prices_{};
};

}  // namespace zel::lzma
