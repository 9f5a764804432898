// What coding one binary decision costs under the adaptive range coder, in
// sixteenths of a bit, for the encoder's choices between ways of writing the
// same bytes. Integer only, so that every platform makes the same choices and
// the output stays byte-identical.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zel::lzma {

// Probabilities are 11-bit fixed point: the chance that the bit is 0 is prob / 2048.
inline constexpr int kProbBits = 11;
inline constexpr std::uint32_t kProbOne = 1u << kProbBits;
inline constexpr int kPriceShift = 4;  // prices in 1/16 bit
inline constexpr std::uint32_t kInfinitePrice = 1u << 30;
inline constexpr std::size_t kPriceTableSize = kProbOne >> kPriceShift;

namespace detail {

// -log2(p / 2048) * 16 for the middle of each of 128 probability buckets,
// rounded down: the integer part from the highest set bit, four fractional
// bits by repeated squaring of the mantissa.
constexpr std::array<std::uint16_t, kPriceTableSize> MakePriceTable() {
    std::array<std::uint16_t, kPriceTableSize> table{};
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        const std::uint32_t p = (i << kPriceShift) + (1u << (kPriceShift - 1));
        int whole = 0;
        while ((p >> (whole + 1)) != 0) ++whole;
        // Mantissa in [1, 2) with 16 fractional bits.
        std::uint64_t m = (static_cast<std::uint64_t>(p) << 16) >> whole;
        std::uint32_t fraction = 0;
        for (int b = 0; b < kPriceShift; ++b) {
            m = (m * m) >> 16;
            fraction <<= 1;
            if (m >= (2u << 16)) {
                m >>= 1;
                fraction |= 1;
            }
        }
        const std::uint32_t log2p = (static_cast<std::uint32_t>(whole) << kPriceShift) | fraction;
        table[i] = static_cast<std::uint16_t>((kProbBits << kPriceShift) - log2p);
    }
    return table;
}

inline constexpr auto kPriceTable = MakePriceTable();

}  // namespace detail

inline std::uint32_t BitPrice(std::uint16_t prob, std::uint32_t bit) {
    const std::uint32_t p = bit != 0 ? kProbOne - prob : prob;
    return detail::kPriceTable[p >> kPriceShift];
}
inline std::uint32_t BitPrice0(std::uint16_t prob) { return detail::kPriceTable[prob >> kPriceShift]; }
inline std::uint32_t BitPrice1(std::uint16_t prob) { return detail::kPriceTable[(kProbOne - prob) >> kPriceShift]; }

// A symbol of numBits bits coded most significant bit first through a tree of probabilities (index 1 is the root).
inline std::uint32_t BitTreePrice(const std::uint16_t* probs, int numBits, std::uint32_t symbol) {
    std::uint32_t price = 0;
    symbol |= 1u << numBits;
    while (symbol != 1) {
        const std::uint32_t bit = symbol & 1;
        symbol >>= 1;
        price += BitPrice(probs[symbol], bit);
    }
    return price;
}

// The same, least significant bit first.
inline std::uint32_t ReverseBitTreePrice(const std::uint16_t* probs, int numBits, std::uint32_t symbol) {
    std::uint32_t price = 0;
    std::uint32_t m = 1;
    for (int i = 0; i < numBits; ++i) {
        const std::uint32_t bit = symbol & 1;
        symbol >>= 1;
        price += BitPrice(probs[m], bit);
        m = (m << 1) | bit;
    }
    return price;
}

}  // namespace zel::lzma
