#include "payload/xxh64.h"

#include <cstring>

namespace zel {
namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

inline std::uint64_t RotateLeft(std::uint64_t value, int bits) noexcept {
    return (value << bits) | (value >> (64 - bits));
}

// Little-endian loads whatever the host's byte order.
inline std::uint64_t Load64(const std::uint8_t* p) noexcept {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

inline std::uint32_t Load32(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t Round(std::uint64_t lane, std::uint64_t input) noexcept {
    lane += input * kPrime2;
    lane = RotateLeft(lane, 31);
    return lane * kPrime1;
}

inline std::uint64_t MergeRound(std::uint64_t hash, std::uint64_t lane) noexcept {
    hash ^= Round(0, lane);
    return hash * kPrime1 + kPrime4;
}

void InitLanes(std::uint64_t lanes[4], std::uint64_t seed) noexcept {
    lanes[0] = seed + kPrime1 + kPrime2;
    lanes[1] = seed + kPrime2;
    lanes[2] = seed;
    lanes[3] = seed - kPrime1;
}

// Consumes whole 32-byte stripes; returns the number of bytes consumed.
std::size_t ConsumeStripes(std::uint64_t lanes[4], const std::uint8_t* p, std::size_t size) noexcept {
    std::uint64_t l0 = lanes[0], l1 = lanes[1], l2 = lanes[2], l3 = lanes[3];
    const std::size_t stripes = size / 32;
    for (std::size_t s = 0; s < stripes; ++s, p += 32) {
        l0 = Round(l0, Load64(p));
        l1 = Round(l1, Load64(p + 8));
        l2 = Round(l2, Load64(p + 16));
        l3 = Round(l3, Load64(p + 24));
    }
    lanes[0] = l0;
    lanes[1] = l1;
    lanes[2] = l2;
    lanes[3] = l3;
    return stripes * 32;
}

std::uint64_t ConvergeLanes(const std::uint64_t lanes[4]) noexcept {
    std::uint64_t hash =
        RotateLeft(lanes[0], 1) + RotateLeft(lanes[1], 7) + RotateLeft(lanes[2], 12) + RotateLeft(lanes[3], 18);
    for (int i = 0; i < 4; ++i) hash = MergeRound(hash, lanes[i]);
    return hash;
}

// The tail of fewer than 32 bytes and the final mixing.
std::uint64_t Finish(std::uint64_t hash, const std::uint8_t* p, std::size_t size) noexcept {
    for (; size >= 8; size -= 8, p += 8) {
        hash ^= Round(0, Load64(p));
        hash = RotateLeft(hash, 27) * kPrime1 + kPrime4;
    }
    if (size >= 4) {
        hash ^= static_cast<std::uint64_t>(Load32(p)) * kPrime1;
        hash = RotateLeft(hash, 23) * kPrime2 + kPrime3;
        size -= 4;
        p += 4;
    }
    for (; size > 0; --size, ++p) {
        hash ^= *p * kPrime5;
        hash = RotateLeft(hash, 11) * kPrime1;
    }
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    hash ^= hash >> 32;
    return hash;
}

}  // namespace

std::uint64_t Xxh64(std::span<const std::uint8_t> bytes, std::uint64_t seed) noexcept {
    const std::uint8_t* p = bytes.data();
    std::size_t size = bytes.size();
    std::uint64_t hash;
    if (size >= 32) {
        std::uint64_t lanes[4];
        InitLanes(lanes, seed);
        const std::size_t consumed = ConsumeStripes(lanes, p, size);
        p += consumed;
        size -= consumed;
        hash = ConvergeLanes(lanes);
    } else {
        hash = seed + kPrime5;
    }
    hash += static_cast<std::uint64_t>(bytes.size());
    return Finish(hash, p, size);
}

Xxh64Stream::Xxh64Stream(std::uint64_t seed) noexcept : seed_(seed) { InitLanes(lanes_, seed); }

void Xxh64Stream::Update(std::span<const std::uint8_t> bytes) noexcept {
    const std::uint8_t* p = bytes.data();
    std::size_t size = bytes.size();
    totalLength_ += size;
    if (pendingSize_ + size < sizeof(pending_)) {
        if (size != 0) std::memcpy(pending_ + pendingSize_, p, size);
        pendingSize_ += size;
        return;
    }
    if (pendingSize_ != 0) {
        const std::size_t fill = sizeof(pending_) - pendingSize_;
        std::memcpy(pending_ + pendingSize_, p, fill);
        ConsumeStripes(lanes_, pending_, sizeof(pending_));
        p += fill;
        size -= fill;
        pendingSize_ = 0;
    }
    const std::size_t consumed = ConsumeStripes(lanes_, p, size);
    p += consumed;
    size -= consumed;
    if (size != 0) std::memcpy(pending_, p, size);
    pendingSize_ = size;
}

std::uint64_t Xxh64Stream::Digest() const noexcept {
    std::uint64_t hash = totalLength_ >= 32 ? ConvergeLanes(lanes_) : seed_ + kPrime5;
    hash += totalLength_;
    return Finish(hash, pending_, pendingSize_);
}

}  // namespace zel
