#include "builder/pe/pe_checksum.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "builder/pe/pe_bytes.h"

namespace zel {

void PeChecksum::Update(std::span<const std::uint8_t> bytes) {
    length_ += bytes.size();
    std::size_t i = 0;
    if (pendingCount_ != 0) {
        // Complete the word a previous piece left unfinished.
        i = std::min(sizeof(pending_) - pendingCount_, bytes.size());
        std::memcpy(pending_ + pendingCount_, bytes.data(), i);
        pendingCount_ += i;
        if (pendingCount_ < sizeof(pending_)) return;
        AddWord(pe::U32(pending_, 0, ""));
        pendingCount_ = 0;
    }
    const std::uint8_t* p = bytes.data() + i;
    const std::size_t words = (bytes.size() - i) / 4;
    std::uint64_t sum = 0;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint32_t word;
        std::memcpy(&word, p + 4 * w, 4);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
        sum += word;
    }
    sum_ += sum;
    i += 4 * words;
    pendingCount_ = bytes.size() - i;
    std::memcpy(pending_, bytes.data() + i, pendingCount_);
}

std::uint32_t PeChecksum::Finish() const {
    std::uint64_t sum = sum_;
    if (pendingCount_ != 0) {
        std::uint8_t last[4] = {};
        std::memcpy(last, pending_, pendingCount_);
        sum += pe::U32(last, 0, "");
    }
    // Summing 32-bit words and folding gives the same one's-complement sum as
    // summing 16-bit words, since 2^16 = 1 modulo 2^16 - 1.
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + length_);
}

}  // namespace zel
