// Byte-level helpers for reading and writing PE images in the builder: field
// reads that throw std::runtime_error naming the field when it lies beyond the
// bytes (a stub that is cut short is refused, never read as zeros), writes into
// a buffer the caller has sized, alignment, and the check that a size still
// fits the 32-bit fields of a PE image. Portable.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "util/byte_reader.h"

namespace zel::pe {

inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// Little-endian reads through the bounds-checked reader; what names the field
// in the message.
template <typename T>
T ReadField(std::span<const std::uint8_t> b, std::uint64_t at, const char* what) {
    ByteReader reader(b);
    T value = 0;
    bool read = at <= b.size() && reader.seek(static_cast<std::size_t>(at));
    if constexpr (sizeof(T) == 2) {
        read = read && reader.readU16(value);
    } else {
        read = read && reader.readU32(value);
    }
    if (!read) throw std::runtime_error(std::string("truncated ") + what);
    return value;
}

inline std::uint16_t U16(std::span<const std::uint8_t> b, std::uint64_t at, const char* what) {
    return ReadField<std::uint16_t>(b, at, what);
}

inline std::uint32_t U32(std::span<const std::uint8_t> b, std::uint64_t at, const char* what) {
    return ReadField<std::uint32_t>(b, at, what);
}

inline void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The value, or a throw naming what would not fit.
inline std::uint32_t Checked32(std::uint64_t value, const char* what) {
    if (value > 0xFFFFFFFFull) throw std::runtime_error(std::string(what) + " does not fit a PE image (over 4 GiB)");
    return static_cast<std::uint32_t>(value);
}

}  // namespace zel::pe
