#include "payload/lzma/x86_branch_filter.h"

namespace zel {
namespace {

// The operand's top byte of a near CALL or JMP within ±16 MiB: 00 or FF.
constexpr bool IsNearTopByte(std::uint8_t b) noexcept { return b == 0x00 || b == 0xFF; }

// `history` describes the bytes before an E8/E9 byte: bit k (k = 1..3) is set
// when the byte k positions back was an E8/E9 that was left alone, bits 5..7
// when such an opcode's operand ended in 00/FF. Moving `distance` bytes ahead
// ages it: what lies more than three bytes back (its operand over) drops out.
constexpr std::uint32_t Aged(std::uint32_t history, std::uint32_t distance) noexcept {
    if (distance > 5) return 0;
    for (std::uint32_t i = 0; i < distance; ++i) history = (history & 0x77) << 1;
    return history;
}

}  // namespace

X86BranchFilter::X86BranchFilter(Direction direction) noexcept
    : encode_(direction == Direction::kEncode), lastOpcode_(0u - 5u) {}

std::size_t X86BranchFilter::Convert(std::span<std::uint8_t> bytes) noexcept {
    std::uint8_t* const data = bytes.data();
    const std::size_t size = bytes.size();
    // Only the last few bytes matter; older positions would wrap after 4 GiB.
    if (position_ - lastOpcode_ > 5) lastOpcode_ = position_ - 5;

    std::size_t at = 0;
    while (size - at >= 5) {
        if (data[at] != 0xE8 && data[at] != 0xE9) {
            ++at;
            continue;
        }
        const std::uint32_t here = position_ + static_cast<std::uint32_t>(at);
        std::uint32_t history = Aged(history_, here - lastOpcode_);
        lastOpcode_ = here;
        const std::uint8_t top = data[at + 4];

        // Converted only when the operand looks like a near target and no other
        // opcode within the last three bytes could own these bytes: none, or a
        // single one whose operand did not end in 00/FF.
        if (!IsNearTopByte(top) || (history != 0 && history != 2 && history != 4 && history != 8)) {
            history |= 1;
            if (IsNearTopByte(top)) history |= 0x10;
            history_ = history;
            ++at;
            continue;
        }

        const std::uint32_t next = here + 5;  // relative targets count from the next instruction
        std::uint32_t operand = static_cast<std::uint32_t>(data[at + 1]) |
                                static_cast<std::uint32_t>(data[at + 2]) << 8 |
                                static_cast<std::uint32_t>(data[at + 3]) << 16 | static_cast<std::uint32_t>(top) << 24;
        std::uint32_t target = encode_ ? operand + next : operand - next;
        if (history != 0) {
            // The earlier opcode, `back` bytes before, reads this operand's byte
            // 3 - back as its own top byte. Should the result make that byte
            // 00/FF, the bits below it are inverted before converting again, so
            // that the earlier opcode still looks unconvertible when decoding.
            // The second result's byte is the inverse of the original one, which
            // was not 00/FF (else the earlier opcode had blocked this one), so
            // one more round is never needed.
            const std::uint32_t back = history == 2 ? 1 : history == 4 ? 2 : 3;
            const std::uint32_t shift = 24 - 8 * back;
            if (IsNearTopByte(static_cast<std::uint8_t>(target >> shift))) {
                operand = target ^ ((1u << (shift + 8)) - 1);
                target = encode_ ? operand + next : operand - next;
            }
        }
        data[at + 1] = static_cast<std::uint8_t>(target);
        data[at + 2] = static_cast<std::uint8_t>(target >> 8);
        data[at + 3] = static_cast<std::uint8_t>(target >> 16);
        data[at + 4] = (target & 0x01000000u) ? 0xFF : 0x00;  // bit 24 carries the sign
        history_ = 0;
        at += 5;
    }
    position_ += static_cast<std::uint32_t>(at);
    return at;
}

}  // namespace zel
