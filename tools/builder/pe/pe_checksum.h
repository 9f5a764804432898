// The PE image checksum of the builder's output, summed while the output is
// written, so that a large setup.exe is not read back to compute it. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zel {

// The PE image checksum (as CheckSumMappedFile computes it) over bytes fed in
// any number of pieces, the checksum field itself given as zeros.
class PeChecksum {
public:
    void Update(std::span<const std::uint8_t> bytes);
    std::uint32_t Finish() const;

private:
    void AddWord(std::uint32_t word) { sum_ += word; }

    std::uint64_t sum_ = 0;
    std::uint64_t length_ = 0;
    std::uint8_t pending_[4] = {};
    std::size_t pendingCount_ = 0;
};

}  // namespace zel
