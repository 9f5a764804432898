// libFuzzer target: the LZMA2 block decoder, optionally with the x86 filter,
// on arbitrary streams, against liblzma's raw decoder. Both must agree on
// whether a stream is a whole stream of the given size and, when it is, on
// every byte; the pieces handed on must be non-empty, at most 1 MiB, and add
// up to the size.
//
// Input: property byte (0..41, 41 invalid), flags (bit 0: x86 filter),
// output size (3 bytes, little-endian, below 1 MiB), then the raw stream.
#include <lzma.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "payload/lzma/lzma2_decoder.h"

namespace {

bool LiblzmaDecodes(std::span<const std::uint8_t> stream, std::uint32_t dictionarySize, bool x86, std::size_t size,
                    std::vector<std::uint8_t>& out) {
    lzma_options_lzma options{};
    options.dict_size = dictionarySize;
    lzma_filter filters[3];
    std::size_t count = 0;
    if (x86) filters[count++] = {LZMA_FILTER_X86, nullptr};
    filters[count++] = {LZMA_FILTER_LZMA2, &options};
    filters[count] = {LZMA_VLI_UNKNOWN, nullptr};
    out.assign(size + 1, 0);
    std::size_t read = 0;
    std::size_t written = 0;
    const lzma_ret ret =
        lzma_raw_buffer_decode(filters, nullptr, stream.data(), &read, stream.size(), out.data(), &written, out.size());
    out.resize(written);
    return ret == LZMA_OK && written == size && read == stream.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    const std::uint8_t property = data[0] % 42;
    const bool x86 = (data[1] & 1) != 0;
    const std::size_t outputSize = (data[2] | data[3] << 8 | data[4] << 16) % (1u << 20);
    const std::span<const std::uint8_t> stream(data + 5, size - 5);

    std::vector<std::uint8_t> ours;
    const bool ok = zel::DecodeLzma2Block(stream, property, x86, outputSize, [&](std::span<const std::uint8_t> piece) {
        if (piece.empty() || piece.size() > (1u << 20)) std::abort();
        ours.insert(ours.end(), piece.begin(), piece.end());
        return true;
    });
    if (ours.size() > outputSize) std::abort();
    if (property > 40) {
        if (ok) std::abort();
        return 0;
    }

    // liblzma allocates the whole dictionary; more than the output is never used.
    const std::uint32_t dictionarySize =
        std::min<std::uint32_t>(*zel::Lzma2DictionarySize(property), std::max<std::uint32_t>(outputSize, 4096));
    std::vector<std::uint8_t> theirs;
    const bool liblzmaOk = LiblzmaDecodes(stream, dictionarySize, x86, outputSize, theirs);
    if (ok != liblzmaOk) std::abort();
    if (ok && ours != theirs) std::abort();
    return 0;
}
