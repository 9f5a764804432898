// Our own LZMA2 encoder, for builders that have no liblzma (the Windows
// builder): a block held in memory becomes one raw LZMA2 stream (the chunk
// sequence with its end marker, no container), which liblzma's raw LZMA2
// decoder with the same dictionary size reads back. Portable and
// single-threaded; callers run one encoder per block to use several cores.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zel {

struct Lzma2EncoderOptions {
    // Matches reach at most this far back; the decoder needs a dictionary at least this large.
    std::uint32_t dictionarySize = 64u << 20;
    // Matches at least this long are taken without looking for better choices (8..273).
    std::uint32_t niceLength = 64;
    // How many earlier positions one match search visits at most.
    std::uint32_t searchDepth = 48;
};

// One raw LZMA2 stream of `input`, end marker included. Deterministic: the
// same input and options give the same bytes on every platform. Dictionaries
// under 4 KiB are taken as 4 KiB, the smallest LZMA2 states. Needs about 9
// bytes of memory per input byte besides the input and the output (the match
// finder's tree and hash table); throws std::length_error for inputs of 4 GiB or more.
std::vector<std::uint8_t> EncodeLzma2(std::span<const std::uint8_t> input, const Lzma2EncoderOptions& options);

// The LZMA2 property byte of the smallest dictionary size it can state that
// holds dictionarySize (what a decoder needs to be told).
std::uint8_t Lzma2DictionaryProperty(std::uint32_t dictionarySize);

}  // namespace zel
