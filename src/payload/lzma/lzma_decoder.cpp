#include "payload/lzma/lzma_decoder.h"

#include <algorithm>
#include <cstring>

namespace zel {
namespace {

constexpr std::uint32_t kTopValue = 1u << 24;  // the range decoder shifts a byte in below this
constexpr unsigned kProbabilityBits = 11;
constexpr std::uint32_t kProbabilityOne = 1u << kProbabilityBits;
constexpr unsigned kAdaptShift = 5;

constexpr std::uint32_t kStates = 12;
constexpr std::uint32_t kFirstStateAfterMatch = 7;  // from here on, literals are coded against the match byte
constexpr std::uint32_t kStateAfterLiteral[kStates] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};
constexpr std::size_t kMatchMinLength = 2;
constexpr std::uint32_t kEndMarkerDistance = 0xFFFFFFFF;

// A length coder: two choice bits, 8 short lengths per position state, 8 middle
// ones per position state, 256 long ones.
constexpr std::size_t kLengthChoice = 0;
constexpr std::size_t kLengthChoice2 = 1;
constexpr std::size_t kLengthLow = 2;
constexpr std::size_t kLengthMid = kLengthLow + 16 * 8;
constexpr std::size_t kLengthHigh = kLengthMid + 16 * 8;
constexpr std::size_t kLengthCoderSize = kLengthHigh + 256;

// Where each group of bit models starts in the one probability array.
constexpr std::size_t kIsMatch = 0;  // [state][position state]
constexpr std::size_t kIsRep = kIsMatch + kStates * 16;
constexpr std::size_t kIsRepG0 = kIsRep + kStates;
constexpr std::size_t kIsRepG1 = kIsRepG0 + kStates;
constexpr std::size_t kIsRepG2 = kIsRepG1 + kStates;
constexpr std::size_t kIsRep0Long = kIsRepG2 + kStates;            // [state][position state]
constexpr std::size_t kDistanceSlot = kIsRep0Long + kStates * 16;  // [length state][64]
constexpr std::size_t kDistanceSpecial = kDistanceSlot + 4 * 64;   // reverse trees of slots 4..13
constexpr std::size_t kAlign = kDistanceSpecial + 115;
constexpr std::size_t kMatchLength = kAlign + 16;
constexpr std::size_t kRepLength = kMatchLength + kLengthCoderSize;
constexpr std::size_t kLiteral = kRepLength + kLengthCoderSize;  // [coder][0x300]
static_assert(kLiteral + 0x300 * LzmaDecoder::kLiteralCoders == LzmaDecoder::kProbabilityCount);

// The range decoder over one chunk's bytes, kept in locals by the decoding loop.
// The checked form reads nothing past `end`; it notes the overrun instead, and
// the symbol in progress is thrown away with the chunk.
template <bool kChecked>
struct RangeReader {
    std::uint32_t range;
    std::uint32_t code;
    const std::uint8_t* in;
    const std::uint8_t* end;
    bool overrun;

    [[gnu::always_inline]] void Normalize() noexcept {
        if (range < kTopValue) {
            range <<= 8;
            code <<= 8;
            if constexpr (kChecked) {
                if (in == end) {
                    overrun = true;
                    return;
                }
            }
            code |= *in++;
        }
    }

    [[gnu::always_inline]] std::uint32_t Bit(std::uint16_t& probability) noexcept {
        const std::uint32_t p = probability;
        const std::uint32_t bound = (range >> kProbabilityBits) * p;
        std::uint32_t bit;
        if (code < bound) {
            range = bound;
            probability = static_cast<std::uint16_t>(p + ((kProbabilityOne - p) >> kAdaptShift));
            bit = 0;
        } else {
            range -= bound;
            code -= bound;
            probability = static_cast<std::uint16_t>(p - (p >> kAdaptShift));
            bit = 1;
        }
        Normalize();
        return bit;
    }

    // `kBits` bits, most significant first, through a tree of models rooted at 1.
    template <unsigned kBits>
    [[gnu::always_inline]] std::uint32_t Tree(std::uint16_t* models) noexcept {
        std::uint32_t node = 1;
        for (unsigned i = 0; i < kBits; ++i) node = (node << 1) | Bit(models[node]);
        return node - (1u << kBits);
    }

    // `bits` bits, least significant first.
    [[gnu::always_inline]] std::uint32_t ReverseTree(std::uint16_t* models, unsigned bits) noexcept {
        std::uint32_t node = 1;
        std::uint32_t value = 0;
        for (unsigned i = 0; i < bits; ++i) {
            const std::uint32_t bit = Bit(models[node]);
            node = (node << 1) | bit;
            value |= bit << i;
        }
        return value;
    }

    // Bits of probability one half, without a model.
    std::uint32_t Direct(unsigned bits) noexcept {
        std::uint32_t value = 0;
        for (unsigned i = 0; i < bits; ++i) {
            range >>= 1;
            code -= range;
            const std::uint32_t zero = 0u - (code >> 31);  // all ones when the bit is 0
            code += range & zero;
            value = (value << 1) + (zero + 1);
            Normalize();
        }
        return value;
    }
};

template <bool kChecked>
[[gnu::always_inline]] inline std::uint32_t DecodeLength(RangeReader<kChecked>& rc, std::uint16_t* coder,
                                                         std::uint32_t posState) noexcept {
    if (rc.Bit(coder[kLengthChoice]) == 0) return rc.template Tree<3>(coder + kLengthLow + posState * 8);
    if (rc.Bit(coder[kLengthChoice2]) == 0) return 8 + rc.template Tree<3>(coder + kLengthMid + posState * 8);
    return 16 + rc.template Tree<8>(coder + kLengthHigh);
}

// Where the byte `distance` + 1 positions back lies in the ring.
[[gnu::always_inline]] inline std::size_t SourceOf(std::size_t pos, std::size_t size, std::uint32_t distance) noexcept {
    return pos > distance ? pos - distance - 1 : pos + size - distance - 1;
}

// Copies `count` bytes from `source` to `pos`; the destination never passes
// the end of the ring, the source may wrap. Overlapping copies repeat the bytes
// as LZMA means them to, one after the other.
[[gnu::always_inline]] inline void CopyMatch(std::uint8_t* buffer, std::size_t size, std::size_t pos,
                                             std::size_t source, std::size_t count) noexcept {
    std::uint8_t* to = buffer + pos;
    if (source < pos) {
        const std::uint8_t* from = buffer + source;
        if (pos - source >= count) {
            std::memcpy(to, from, count);
        } else {
            for (std::size_t i = 0; i < count; ++i) to[i] = from[i];
        }
    } else if (size - source >= count) {
        // Bytes of the previous lap, ahead of the destination: a forward copy
        // reads each before it is overwritten.
        std::memmove(to, buffer + source, count);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            to[i] = buffer[source];
            if (++source == size) source = 0;
        }
    }
}

}  // namespace

LzmaDecoder::LzmaDecoder() noexcept { ResetState(); }

bool LzmaDecoder::SetProperties(std::uint8_t properties) noexcept {
    if (properties >= 9 * 5 * 5) return false;
    const std::uint32_t lc = properties % 9;
    const std::uint32_t lp = properties / 9 % 5;
    const std::uint32_t pb = properties / 45;
    if (lc + lp > 4) return false;
    lc_ = lc;
    lpMask_ = (1u << lp) - 1;
    pbMask_ = (1u << pb) - 1;
    return true;
}

void LzmaDecoder::ResetState() noexcept {
    std::fill(std::begin(probabilities_), std::end(probabilities_), static_cast<std::uint16_t>(kProbabilityOne / 2));
    state_ = 0;
    std::fill(std::begin(reps_), std::end(reps_), 0u);
    pendingLength_ = 0;
}

bool LzmaDecoder::StartChunk(std::span<const std::uint8_t> packed) noexcept {
    if (packed.size() < 5 || packed[0] != 0) return false;
    range_ = 0xFFFFFFFF;
    code_ = static_cast<std::uint32_t>(packed[1]) << 24 | static_cast<std::uint32_t>(packed[2]) << 16 |
            static_cast<std::uint32_t>(packed[3]) << 8 | packed[4];
    in_ = packed.data() + 5;
    inEnd_ = packed.data() + packed.size();
    return true;
}

bool LzmaDecoder::FinishChunk() const noexcept { return pendingLength_ == 0 && in_ == inEnd_ && code_ == 0; }

bool LzmaDecoder::Decode(LzmaDictionary& dictionary, std::size_t limit) noexcept {
    if (pendingLength_ != 0 && dictionary.pos < limit) {
        const std::size_t count = std::min(pendingLength_, limit - dictionary.pos);
        CopyMatch(dictionary.buffer, dictionary.size, dictionary.pos,
                  SourceOf(dictionary.pos, dictionary.size, reps_[0]), count);
        dictionary.pos += count;
        dictionary.full = std::min(dictionary.full + count, dictionary.size);
        pendingLength_ -= count;
    }
    // Fast while a whole symbol's bytes are surely there, checked for the last few.
    if (!DecodeSymbols<false>(dictionary, limit)) return false;
    return dictionary.pos == limit || DecodeSymbols<true>(dictionary, limit);
}

template <bool kChecked>
bool LzmaDecoder::DecodeSymbols(LzmaDictionary& dictionary, std::size_t limit) noexcept {
    RangeReader<kChecked> rc{range_, code_, in_, inEnd_, false};
    std::uint16_t* const probs = probabilities_;
    std::uint8_t* const buffer = dictionary.buffer;
    const std::size_t size = dictionary.size;
    std::size_t pos = dictionary.pos;
    // The loop never wraps, so the bytes available to matches are pos + fullBias, at most `size`.
    const std::size_t fullBias = dictionary.full - pos;
    const std::uint32_t lc = lc_;
    const std::uint32_t lpMask = lpMask_;
    const std::uint32_t pbMask = pbMask_;
    std::uint32_t state = state_;
    std::uint32_t rep0 = reps_[0];
    std::uint32_t rep1 = reps_[1];
    std::uint32_t rep2 = reps_[2];
    std::uint32_t rep3 = reps_[3];
    bool ok = true;

    while (pos < limit) {
        if constexpr (!kChecked) {
            if (static_cast<std::size_t>(rc.end - rc.in) < kMaxSymbolInput) break;
        }
        const std::uint32_t posState = static_cast<std::uint32_t>(pos) & pbMask;
        const std::size_t available = std::min(pos + fullBias, size);

        if (rc.Bit(probs[kIsMatch + state * 16 + posState]) == 0) {
            // After a reset the byte before position 0 reads as 0, as the format wants.
            const std::uint32_t previous = buffer[(pos != 0 ? pos : size) - 1];
            std::uint16_t* const literal =
                probs + kLiteral +
                0x300 * (((static_cast<std::uint32_t>(pos) & lpMask) << lc) + (previous >> (8 - lc)));
            std::uint32_t symbol = 1;
            if (state < kFirstStateAfterMatch) {
                do symbol = (symbol << 1) | rc.Bit(literal[symbol]);
                while (symbol < 0x100);
            } else {
                if (rep0 >= available) {
                    ok = false;
                    break;
                }
                // Coded against the byte the last match would give next, until
                // the first bit that differs from it.
                std::uint32_t matchByte = buffer[SourceOf(pos, size, rep0)];
                do {
                    const std::uint32_t matchBit = (matchByte >> 7) & 1;
                    matchByte <<= 1;
                    const std::uint32_t bit = rc.Bit(literal[((1 + matchBit) << 8) + symbol]);
                    symbol = (symbol << 1) | bit;
                    if (bit != matchBit) break;
                } while (symbol < 0x100);
                while (symbol < 0x100) symbol = (symbol << 1) | rc.Bit(literal[symbol]);
            }
            buffer[pos++] = static_cast<std::uint8_t>(symbol);
            state = kStateAfterLiteral[state];
        } else {
            std::size_t length;
            if (rc.Bit(probs[kIsRep + state]) == 0) {
                length = DecodeLength(rc, probs + kMatchLength, posState);
                const std::uint32_t lengthState = length < 3 ? static_cast<std::uint32_t>(length) : 3;
                const std::uint32_t slot = rc.template Tree<6>(probs + kDistanceSlot + lengthState * 64);
                std::uint32_t distance = slot;
                if (slot >= 4) {
                    const unsigned directBits = (slot >> 1) - 1;
                    distance = (2 | (slot & 1)) << directBits;
                    if (slot < 14) {
                        distance += rc.ReverseTree(probs + kDistanceSpecial + distance - slot, directBits);
                    } else {
                        distance += rc.Direct(directBits - 4) << 4;
                        distance += rc.ReverseTree(probs + kAlign, 4);
                    }
                }
                // LZMA2 chunks know their size and never carry the end marker.
                if (distance == kEndMarkerDistance || distance >= available) {
                    ok = false;
                    break;
                }
                rep3 = rep2;
                rep2 = rep1;
                rep1 = rep0;
                rep0 = distance;
                state = state < kFirstStateAfterMatch ? 7 : 10;
            } else {
                if (rc.Bit(probs[kIsRepG0 + state]) == 0) {
                    if (rc.Bit(probs[kIsRep0Long + state * 16 + posState]) == 0) {
                        // One byte from the last distance.
                        if (rep0 >= available) {
                            ok = false;
                            break;
                        }
                        buffer[pos] = buffer[SourceOf(pos, size, rep0)];
                        ++pos;
                        state = state < kFirstStateAfterMatch ? 9 : 11;
                        if constexpr (kChecked) {
                            if (rc.overrun) {
                                ok = false;
                                break;
                            }
                        }
                        continue;
                    }
                } else {
                    std::uint32_t distance;
                    if (rc.Bit(probs[kIsRepG1 + state]) == 0) {
                        distance = rep1;
                    } else {
                        if (rc.Bit(probs[kIsRepG2 + state]) == 0) {
                            distance = rep2;
                        } else {
                            distance = rep3;
                            rep3 = rep2;
                        }
                        rep2 = rep1;
                    }
                    rep1 = rep0;
                    rep0 = distance;
                }
                length = DecodeLength(rc, probs + kRepLength, posState);
                state = state < kFirstStateAfterMatch ? 8 : 11;
                if (rep0 >= available) {
                    ok = false;
                    break;
                }
            }
            length += kMatchMinLength;
            const std::size_t count = std::min(length, limit - pos);
            CopyMatch(buffer, size, pos, SourceOf(pos, size, rep0), count);
            pos += count;
            pendingLength_ = length - count;
        }
        if constexpr (kChecked) {
            if (rc.overrun) {
                ok = false;
                break;
            }
        }
    }

    range_ = rc.range;
    code_ = rc.code;
    in_ = rc.in;
    state_ = state;
    reps_[0] = rep0;
    reps_[1] = rep1;
    reps_[2] = rep2;
    reps_[3] = rep3;
    dictionary.pos = pos;
    dictionary.full = std::min(pos + fullBias, size);
    return ok;
}

}  // namespace zel
