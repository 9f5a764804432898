// Reproducible pseudo-random bytes for tests that need data no rule compresses
// or predicts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace zel::test {

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

}  // namespace zel::test
