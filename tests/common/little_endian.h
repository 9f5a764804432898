// Little-endian field writes into a byte buffer, for tests that build binary
// files (PE images, archives) byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zel::test {

inline void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace zel::test
