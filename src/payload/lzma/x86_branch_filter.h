// The x86 branch converter of the xz format (its "x86 BCJ" filter, start offset
// 0): the 32-bit relative targets of CALL (E8) and JMP (E9) instructions become
// absolute before compression, so that every call of one function carries the
// same bytes and compresses better; decoding turns them back into relative ones.
// Works on x86 and x64 code alike and leaves other data as it was. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zel {

class X86BranchFilter {
public:
    enum class Direction { kEncode, kDecode };

    explicit X86BranchFilter(Direction direction) noexcept;

    // Converts the next bytes of the stream in place and returns how many of
    // them, from the start, are final. The rest (at most 4 bytes, the start of
    // an instruction whose operand is not complete yet) must be passed again at
    // the front of the next call, followed by the bytes after them. At the end
    // of the stream whatever is not final stays as it is.
    std::size_t Convert(std::span<std::uint8_t> bytes) noexcept;

private:
    bool encode_;
    // Stream offset of the first byte of the next call (wraps at 4 GiB, as
    // the format's arithmetic does).
    std::uint32_t position_ = 0;
    // Stream offset of the last E8/E9 byte looked at, and what the bytes
    // before the next one look like (see the .cpp).
    std::uint32_t lastOpcode_;
    std::uint32_t history_ = 0;
};

}  // namespace zel
