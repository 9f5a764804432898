// One solid LZMA2 block of the payload, optionally behind the x86 branch
// filter: liblzma where the builder is linked with it (the Linux builder), our
// own encoder elsewhere (the Windows builder, for which Debian has no
// liblzma). Both give streams the same decoder reads; their bytes differ.
// Portable.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zel {

// The dictionary a block of this many bytes is compressed with: the block
// itself up to 64 MiB, so that no decoder holds more than the block needs.
std::uint32_t LzmaDictionarySize(std::uint64_t blockSize) noexcept;

struct LzmaBlock {
    std::vector<std::uint8_t> stored;  // the raw LZMA2 stream, end marker included
    std::uint8_t property = 0;         // its dictionary size byte
};

// Compresses input, through the x86 filter first when x86 is set. Throws
// std::runtime_error when the encoder fails.
LzmaBlock EncodeLzmaBlock(std::span<const std::uint8_t> input, bool x86);

// Which encoder this builder uses, for messages and --version.
const char* LzmaEncoderName() noexcept;

}  // namespace zel
