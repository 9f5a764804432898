// The LZMA model with lc=3, lp=0, pb=2: the probabilities, the 12-value state
// and the four most recent distances, how each kind of symbol (literal, match,
// rep match, short rep) is range-coded, and what each would cost now. The
// parser compares prices; the encoder codes what it chose.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "builder/compression/length_coder.h"
#include "builder/compression/range_encoder.h"

namespace zel::lzma {

inline constexpr int kStates = 12;
inline constexpr int kLiteralContextBits = 3;                                           // lc
inline constexpr std::uint8_t kPropertiesByte = (2 * 5 + 0) * 9 + kLiteralContextBits;  // pb=2, lp=0, lc=3

inline bool IsLiteralState(std::uint32_t s) { return s < 7; }
inline std::uint32_t StateAfterLiteral(std::uint32_t s) { return s < 4 ? 0 : (s < 10 ? s - 3 : s - 6); }
inline std::uint32_t StateAfterMatch(std::uint32_t s) { return s < 7 ? 7 : 10; }
inline std::uint32_t StateAfterRep(std::uint32_t s) { return s < 7 ? 8 : 11; }
inline std::uint32_t StateAfterShortRep(std::uint32_t s) { return s < 7 ? 9 : 11; }

// The state and distances a decoder holds between symbols.
struct CoderState {
    std::uint32_t state = 0;
    std::array<std::uint32_t, 4> reps{};  // distances minus one, most recent first
};

class SymbolCoder {
public:
    // Forgets everything learnt (a state reset); prices are kept for lengths up to niceLength.
    void Reset(std::uint32_t niceLength);

    RangeEncoder& Rc() { return rc_; }
    const CoderState& State() const { return state_; }

    // Each codes the symbol at data[pos] and moves the state on.
    void EncodeLiteral(const std::uint8_t* data, std::size_t pos);
    void EncodeMatch(std::uint32_t distance, std::uint32_t length, std::size_t pos);
    // Rep match with reps[index]; index 0 with length 1 is the short rep.
    void EncodeRep(int index, std::uint32_t length, std::size_t pos);

    // Recomputes the distance price tables when enough matches were coded since.
    void RefreshPrices();

    std::uint32_t LiteralPrice(std::uint32_t state, int posState, std::uint8_t prevByte, std::uint8_t byte,
                               std::uint8_t matchByte) const;
    std::uint32_t ShortRepPrice(std::uint32_t state, int posState) const {
        return BitPrice1(isMatch_[state][posState]) + BitPrice1(isRep_[state]) + BitPrice0(isRepG0_[state]) +
               BitPrice0(isRep0Long_[state][posState]);
    }
    // A rep match of reps[index] without its length.
    std::uint32_t RepPrice(int index, std::uint32_t state, int posState) const {
        std::uint32_t price = BitPrice1(isMatch_[state][posState]) + BitPrice1(isRep_[state]);
        if (index == 0) return price + BitPrice0(isRepG0_[state]) + BitPrice1(isRep0Long_[state][posState]);
        price += BitPrice1(isRepG0_[state]);
        if (index == 1) return price + BitPrice0(isRepG1_[state]);
        return price + BitPrice1(isRepG1_[state]) + BitPrice(isRepG2_[state], index - 2);
    }
    std::uint32_t RepLengthPrice(std::uint32_t length, int posState) const {
        return repLength_.Price(length, posState);
    }
    // The start of a new match (the flag bits), without length and distance.
    std::uint32_t MatchFlagPrice(std::uint32_t state, int posState) const {
        return BitPrice1(isMatch_[state][posState]) + BitPrice0(isRep_[state]);
    }
    std::uint32_t MatchLengthPrice(std::uint32_t length, int posState) const {
        return matchLength_.Price(length, posState);
    }
    // A match distance's price; it depends on the length only up to 5.
    std::uint32_t DistancePrice(std::uint32_t distance, std::uint32_t length) const;
    std::uint32_t MatchLengthDistancePrice(std::uint32_t distance, std::uint32_t length, int posState) const {
        return MatchLengthPrice(length, posState) + DistancePrice(distance, length);
    }

private:
    static constexpr int kLengthStates = 4;
    static constexpr int kPosSlotBits = 6;
    static constexpr std::uint32_t kEndPosModelIndex = 14;
    static constexpr std::uint32_t kFullDistances = 128;
    static constexpr int kAlignBits = 4;

    static std::uint32_t LengthState(std::uint32_t length) {
        return length - kMatchLenMin < kLengthStates ? length - kMatchLenMin : kLengthStates - 1;
    }

    void UpdateDistancePrices();
    void UpdateAlignPrices();

    RangeEncoder rc_;
    CoderState state_;
    std::uint16_t isMatch_[kStates][kPosStates];
    std::uint16_t isRep_[kStates];
    std::uint16_t isRepG0_[kStates];
    std::uint16_t isRepG1_[kStates];
    std::uint16_t isRepG2_[kStates];
    std::uint16_t isRep0Long_[kStates][kPosStates];
    std::uint16_t literal_[1 << kLiteralContextBits][0x300];
    std::uint16_t posSlot_[kLengthStates][1 << kPosSlotBits];
    std::uint16_t posSpecial_[1 + kFullDistances - kEndPosModelIndex];
    std::uint16_t align_[1 << kAlignBits];
    LengthCoder matchLength_;
    LengthCoder repLength_;

    std::uint32_t matchesSincePrices_ = 0;
    std::uint32_t alignsSincePrices_ = 0;
    std::uint32_t slotPrices_[kLengthStates][1 << kPosSlotBits];
    std::uint32_t fullDistancePrices_[kLengthStates][kFullDistances];
    std::uint32_t alignPrices_[1 << kAlignBits];
};

}  // namespace zel::lzma
