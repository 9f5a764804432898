// Decoding of one LZMA2 block: a raw LZMA2 stream (chunks up to the end
// marker, the dictionary size given outside the stream as LZMA2's property
// byte), optionally followed by the x86 branch filter. setup.exe unpacks its
// solid blocks with it; the builder's tests check it against liblzma. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace zel {

// The dictionary size an LZMA2 property byte stands for; none above 40.
std::optional<std::uint32_t> Lzma2DictionarySize(std::uint8_t property) noexcept;

// Decodes one raw LZMA2 stream (end marker included), then the x86 branch
// filter when `x86Filter` is set, whose output must be exactly `size` bytes.
// Hands the decoded bytes to `out` in consecutive pieces of at most 1 MiB (the
// view is valid during the call only); `out` returns false to stop. False when
// the input is malformed, ends early, has bytes after the end marker or
// decodes to another size, when the property is invalid or `out` stopped it.
// Whatever the input, nothing is read or written outside its buffers; it keeps
// one dictionary of min(dictionary size, size) bytes plus about 100 KiB.
// Throws only std::bad_alloc, when that memory cannot be had.
bool DecodeLzma2Block(std::span<const std::uint8_t> input, std::uint8_t dictionaryProperty, bool x86Filter,
                      std::uint64_t size, const std::function<bool(std::span<const std::uint8_t>)>& out);

}  // namespace zel
