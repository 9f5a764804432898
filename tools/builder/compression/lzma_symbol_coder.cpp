#include "builder/compression/lzma_symbol_coder.h"

#include <algorithm>
#include <bit>

namespace zel::lzma {

namespace {

// Distances are refreshed in the price tables after this many matches, the
// align bits after this many far matches: often enough to follow the data,
// rarely enough to cost little.
constexpr std::uint32_t kDistancePriceInterval = 128;
constexpr std::uint32_t kAlignPriceInterval = 16;

// The slot of a distance: 0..3 themselves, then two slots per power of two.
inline std::uint32_t PosSlot(std::uint32_t distance) {
    if (distance < 4) return distance;
    const auto top = static_cast<std::uint32_t>(std::bit_width(distance) - 1);
    return (top << 1) | ((distance >> (top - 1)) & 1);
}

template <std::size_t N>
void FillProbs(std::uint16_t (&probs)[N]) {
    std::fill(std::begin(probs), std::end(probs), kProbInit);
}
template <std::size_t N, std::size_t M>
void FillProbs(std::uint16_t (&probs)[N][M]) {
    for (auto& row : probs) FillProbs(row);
}

}  // namespace

void SymbolCoder::Reset(std::uint32_t niceLength) {
    state_ = {};
    FillProbs(isMatch_);
    FillProbs(isRep_);
    FillProbs(isRepG0_);
    FillProbs(isRepG1_);
    FillProbs(isRepG2_);
    FillProbs(isRep0Long_);
    FillProbs(literal_);
    FillProbs(posSlot_);
    FillProbs(posSpecial_);
    FillProbs(align_);
    matchLength_.Reset(niceLength);
    repLength_.Reset(niceLength);
    UpdateDistancePrices();
    UpdateAlignPrices();
}

void SymbolCoder::EncodeLiteral(const std::uint8_t* data, std::size_t pos) {
    const int posState = static_cast<int>(pos & (kPosStates - 1));
    rc_.EncodeBit(isMatch_[state_.state][posState], 0);
    const std::uint8_t prevByte = pos > 0 ? data[pos - 1] : 0;
    std::uint16_t* probs = literal_[prevByte >> (8 - kLiteralContextBits)];
    const std::uint32_t byte = data[pos];
    if (IsLiteralState(state_.state)) {
        rc_.EncodeBitTree(probs, 8, byte);
    } else {
        // After a match the byte at rep0 is likely; its bits select the
        // probabilities until the first bit that differs.
        std::uint32_t matchByte = data[pos - state_.reps[0] - 1];
        std::uint32_t symbol = 1;
        bool matching = true;
        for (int i = 7; i >= 0; --i) {
            const std::uint32_t bit = (byte >> i) & 1;
            const std::uint32_t matchBit = (matchByte >> i) & 1;
            rc_.EncodeBit(probs[matching ? ((1 + matchBit) << 8) + symbol : symbol], bit);
            symbol = (symbol << 1) | bit;
            if (matchBit != bit) matching = false;
        }
    }
    state_.state = StateAfterLiteral(state_.state);
}

void SymbolCoder::EncodeMatch(std::uint32_t distance, std::uint32_t length, std::size_t pos) {
    const int posState = static_cast<int>(pos & (kPosStates - 1));
    rc_.EncodeBit(isMatch_[state_.state][posState], 1);
    rc_.EncodeBit(isRep_[state_.state], 0);
    matchLength_.Encode(rc_, length, posState);
    const std::uint32_t slot = PosSlot(distance);
    rc_.EncodeBitTree(posSlot_[LengthState(length)], kPosSlotBits, slot);
    if (slot >= 4) {
        const int footerBits = static_cast<int>((slot >> 1) - 1);
        const std::uint32_t base = (2 | (slot & 1)) << footerBits;
        const std::uint32_t reduced = distance - base;
        if (slot < kEndPosModelIndex) {
            rc_.EncodeReverseBitTree(posSpecial_ + base - slot, footerBits, reduced);
        } else {
            rc_.EncodeDirectBits(reduced >> kAlignBits, footerBits - kAlignBits);
            rc_.EncodeReverseBitTree(align_, kAlignBits, reduced & ((1u << kAlignBits) - 1));
            ++alignsSincePrices_;
        }
    }
    state_.reps = {distance, state_.reps[0], state_.reps[1], state_.reps[2]};
    state_.state = StateAfterMatch(state_.state);
    ++matchesSincePrices_;
}

void SymbolCoder::EncodeRep(int index, std::uint32_t length, std::size_t pos) {
    const int posState = static_cast<int>(pos & (kPosStates - 1));
    const std::uint32_t s = state_.state;
    rc_.EncodeBit(isMatch_[s][posState], 1);
    rc_.EncodeBit(isRep_[s], 1);
    if (index == 0) {
        rc_.EncodeBit(isRepG0_[s], 0);
        rc_.EncodeBit(isRep0Long_[s][posState], length == 1 ? 0 : 1);
    } else {
        rc_.EncodeBit(isRepG0_[s], 1);
        if (index == 1) {
            rc_.EncodeBit(isRepG1_[s], 0);
        } else {
            rc_.EncodeBit(isRepG1_[s], 1);
            rc_.EncodeBit(isRepG2_[s], static_cast<std::uint32_t>(index - 2));
        }
        const std::uint32_t distance = state_.reps[index];
        for (int i = index; i > 0; --i) state_.reps[i] = state_.reps[i - 1];
        state_.reps[0] = distance;
    }
    if (length == 1) {
        state_.state = StateAfterShortRep(s);
    } else {
        repLength_.Encode(rc_, length, posState);
        state_.state = StateAfterRep(s);
    }
}

void SymbolCoder::RefreshPrices() {
    if (matchesSincePrices_ >= kDistancePriceInterval) UpdateDistancePrices();
    if (alignsSincePrices_ >= kAlignPriceInterval) UpdateAlignPrices();
}

void SymbolCoder::UpdateDistancePrices() {
    for (std::uint32_t ls = 0; ls < kLengthStates; ++ls) {
        for (std::uint32_t slot = 0; slot < (1u << kPosSlotBits); ++slot) {
            std::uint32_t price = BitTreePrice(posSlot_[ls], kPosSlotBits, slot);
            // Direct bits cost one bit each; the align bits are priced apart.
            if (slot >= kEndPosModelIndex) price += (((slot >> 1) - 1) - kAlignBits) << kPriceShift;
            slotPrices_[ls][slot] = price;
        }
        for (std::uint32_t d = 0; d < kFullDistances; ++d) {
            const std::uint32_t slot = PosSlot(d);
            std::uint32_t price = slotPrices_[ls][slot];
            if (slot >= 4) {
                const int footerBits = static_cast<int>((slot >> 1) - 1);
                const std::uint32_t base = (2 | (slot & 1)) << footerBits;
                price += ReverseBitTreePrice(posSpecial_ + base - slot, footerBits, d - base);
            }
            fullDistancePrices_[ls][d] = price;
        }
    }
    matchesSincePrices_ = 0;
}

void SymbolCoder::UpdateAlignPrices() {
    for (std::uint32_t i = 0; i < (1u << kAlignBits); ++i) alignPrices_[i] = ReverseBitTreePrice(align_, kAlignBits, i);
    alignsSincePrices_ = 0;
}

std::uint32_t SymbolCoder::LiteralPrice(std::uint32_t state, int posState, std::uint8_t prevByte, std::uint8_t byte,
                                        std::uint8_t matchByte) const {
    const std::uint16_t* probs = literal_[prevByte >> (8 - kLiteralContextBits)];
    std::uint32_t price = BitPrice0(isMatch_[state][posState]);
    if (IsLiteralState(state)) return price + BitTreePrice(probs, 8, byte);
    std::uint32_t symbol = 1;
    bool matching = true;
    for (int i = 7; i >= 0; --i) {
        const std::uint32_t bit = (byte >> i) & 1;
        const std::uint32_t matchBit = (matchByte >> i) & 1;
        price += BitPrice(probs[matching ? ((1 + matchBit) << 8) + symbol : symbol], bit);
        symbol = (symbol << 1) | bit;
        if (matchBit != bit) matching = false;
    }
    return price;
}

std::uint32_t SymbolCoder::DistancePrice(std::uint32_t distance, std::uint32_t length) const {
    const std::uint32_t ls = LengthState(length);
    if (distance < kFullDistances) return fullDistancePrices_[ls][distance];
    return slotPrices_[ls][PosSlot(distance)] + alignPrices_[distance & ((1u << kAlignBits) - 1)];
}

}  // namespace zel::lzma
