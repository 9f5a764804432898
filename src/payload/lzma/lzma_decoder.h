// The LZMA decoder underneath LZMA2: the range decoder, the adaptive bit
// models and the literal/match symbols, writing into a ring-buffer dictionary.
// It decodes what one LZMA2 chunk holds; the chunk framing, the resets and the
// output live in lzma2_decoder.cpp. Portable; no state outside the object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zel {

// The sliding window matches copy from. `size` is a multiple of 16 so that a
// position's low bits are the same as in the whole stream since the last reset;
// `full` counts the bytes written since that reset, at most `size`.
struct LzmaDictionary {
    std::uint8_t* buffer = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    std::size_t full = 0;
};

class LzmaDecoder {
public:
    LzmaDecoder() noexcept;

    // The lc/lp/pb byte; false unless lc + lp <= 4 (LZMA2's limit) and pb <= 4.
    bool SetProperties(std::uint8_t properties) noexcept;
    // Probabilities, state and repeated distances back to their start.
    void ResetState() noexcept;

    // Starts a chunk whose compressed bytes are `packed` (they must outlive
    // the chunk): false unless it begins like a range-coded stream.
    bool StartChunk(std::span<const std::uint8_t> packed) noexcept;
    // Decodes until `dictionary.pos` reaches `limit` (at most its size); false
    // when the data is corrupt or needs more than the chunk's bytes. A match
    // may end beyond `limit`; its rest is copied by the next call.
    bool Decode(LzmaDictionary& dictionary, std::size_t limit) noexcept;
    // True when the chunk ended cleanly: no match left over, every compressed
    // byte used and the range decoder at its final state.
    bool FinishChunk() const noexcept;

    // The most compressed bytes one symbol can take (one per bit decoded).
    static constexpr std::size_t kMaxSymbolInput = 64;
    static constexpr std::size_t kLiteralCoders = 16;  // 1 << (lc + lp) at most
    static constexpr std::size_t kProbabilityCount = 1847 + 0x300 * kLiteralCoders;

private:
    template <bool kChecked>
    bool DecodeSymbols(LzmaDictionary& dictionary, std::size_t limit) noexcept;

    std::uint16_t probabilities_[kProbabilityCount];
    std::uint32_t lc_ = 0;
    std::uint32_t lpMask_ = 0;
    std::uint32_t pbMask_ = 0;
    std::uint32_t state_ = 0;
    std::uint32_t reps_[4] = {};
    std::size_t pendingLength_ = 0;  // bytes of the last match still to copy
    std::uint32_t range_ = 0;
    std::uint32_t code_ = 0;
    const std::uint8_t* in_ = nullptr;
    const std::uint8_t* inEnd_ = nullptr;
};

}  // namespace zel
