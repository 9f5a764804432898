// Bounds-checked little-endian reading over a byte span. Every read reports a
// short read as false instead of yielding zero. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace zel {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, std::size_t pos = 0) noexcept : bytes_(bytes), pos_(pos) {}

    std::size_t position() const noexcept { return pos_; }
    std::size_t size() const noexcept { return bytes_.size(); }
    std::size_t remaining() const noexcept { return pos_ <= bytes_.size() ? bytes_.size() - pos_ : 0; }
    bool seek(std::size_t pos) noexcept {
        if (pos > bytes_.size()) return false;
        pos_ = pos;
        return true;
    }

    bool readU16(std::uint16_t& out) noexcept { return readLe(out); }
    bool readU32(std::uint32_t& out) noexcept { return readLe(out); }
    bool readU64(std::uint64_t& out) noexcept { return readLe(out); }

    // A position past the end fails even for zero bytes: the span handed out
    // must lie within the bytes.
    bool readBytes(std::size_t count, std::span<const std::uint8_t>& out) noexcept {
        if (pos_ > bytes_.size() || count > remaining()) return false;
        out = bytes_.subspan(pos_, count);
        pos_ += count;
        return true;
    }

private:
    template <typename T>
    bool readLe(T& out) noexcept {
        if (sizeof(T) > remaining()) return false;
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= static_cast<T>(static_cast<T>(bytes_[pos_ + i]) << (8 * i));
        pos_ += sizeof(T);
        out = value;
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_;
};

}  // namespace zel
