// The binary range encoder of LZMA: adaptive 11-bit probabilities, carries
// propagated through a cached byte and a run of 0xFF bytes. One encoder
// writes one LZMA2 chunk's compressed data.
#pragma once

#include <cstdint>
#include <vector>

#include "builder/compression/bit_price.h"

namespace zel::lzma {

inline constexpr int kMoveBits = 5;
inline constexpr std::uint16_t kProbInit = kProbOne / 2;

class RangeEncoder {
public:
    // Starts a new range-coded stream in an emptied buffer.
    void Reset() {
        out_.clear();
        low_ = 0;
        range_ = 0xFFFFFFFFu;
        cache_ = 0;
        cacheSize_ = 1;
    }

    void EncodeBit(std::uint16_t& prob, std::uint32_t bit) {
        const std::uint32_t bound = (range_ >> kProbBits) * prob;
        if (bit == 0) {
            range_ = bound;
            prob = static_cast<std::uint16_t>(prob + ((kProbOne - prob) >> kMoveBits));
        } else {
            low_ += bound;
            range_ -= bound;
            prob = static_cast<std::uint16_t>(prob - (prob >> kMoveBits));
        }
        while (range_ < kTop) {
            range_ <<= 8;
            ShiftLow();
        }
    }

    // Bits with a fixed probability of one half, most significant first.
    void EncodeDirectBits(std::uint32_t value, int numBits) {
        while (numBits-- > 0) {
            range_ >>= 1;
            if (((value >> numBits) & 1) != 0) low_ += range_;
            while (range_ < kTop) {
                range_ <<= 8;
                ShiftLow();
            }
        }
    }

    void EncodeBitTree(std::uint16_t* probs, int numBits, std::uint32_t symbol) {
        std::uint32_t m = 1;
        while (numBits-- > 0) {
            const std::uint32_t bit = (symbol >> numBits) & 1;
            EncodeBit(probs[m], bit);
            m = (m << 1) | bit;
        }
    }

    void EncodeReverseBitTree(std::uint16_t* probs, int numBits, std::uint32_t symbol) {
        std::uint32_t m = 1;
        while (numBits-- > 0) {
            const std::uint32_t bit = symbol & 1;
            symbol >>= 1;
            EncodeBit(probs[m], bit);
            m = (m << 1) | bit;
        }
    }

    // Writes out what is still held in low and the cache; the stream is then complete.
    void Flush() {
        for (int i = 0; i < 5; ++i) ShiftLow();
    }

    // How many bytes the stream would take if it were flushed now.
    std::size_t PendingSize() const { return out_.size() + cacheSize_ + 4; }

    const std::vector<std::uint8_t>& Bytes() const { return out_; }

private:
    static constexpr std::uint32_t kTop = 1u << 24;

    void ShiftLow() {
        if (static_cast<std::uint32_t>(low_) < 0xFF000000u || (low_ >> 32) != 0) {
            const auto carry = static_cast<std::uint8_t>(low_ >> 32);
            std::uint8_t byte = cache_;
            do {
                out_.push_back(static_cast<std::uint8_t>(byte + carry));
                byte = 0xFF;
            } while (--cacheSize_ != 0);
            cache_ = static_cast<std::uint8_t>(low_ >> 24);
        }
        ++cacheSize_;
        low_ = (low_ & 0x00FFFFFFu) << 8;
    }

    std::vector<std::uint8_t> out_;
    std::uint64_t low_ = 0;
    std::uint32_t range_ = 0xFFFFFFFFu;
    std::uint8_t cache_ = 0;
    std::uint64_t cacheSize_ = 1;
};

}  // namespace zel::lzma
