// XXH64, the 64-bit xxHash of Yann Collet: a fast non-cryptographic hash that
// tells a damaged copy of the payload from the one the builder wrote. It is not
// an authenticity check (that is Authenticode's job). Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zel {

// The hash of a whole buffer at once.
std::uint64_t Xxh64(std::span<const std::uint8_t> bytes, std::uint64_t seed = 0) noexcept;

// The same hash over bytes fed in any number of pieces; Digest() may be called
// at any point and gives the hash of everything fed so far.
class Xxh64Stream {
public:
    explicit Xxh64Stream(std::uint64_t seed = 0) noexcept;
    void Update(std::span<const std::uint8_t> bytes) noexcept;
    std::uint64_t Digest() const noexcept;

private:
    std::uint64_t seed_;
    std::uint64_t totalLength_ = 0;
    std::uint64_t lanes_[4];
    std::uint8_t pending_[32] = {};
    std::size_t pendingSize_ = 0;
};

}  // namespace zel
