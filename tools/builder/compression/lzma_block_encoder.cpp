#include "builder/compression/lzma_block_encoder.h"

#include <algorithm>
#include <stdexcept>

#ifdef ZEL_HAVE_LIBLZMA
#include <lzma.h>
#else
#include "builder/compression/lzma2_encoder.h"
#include "payload/lzma/x86_branch_filter.h"
#endif

namespace zel {

std::uint32_t LzmaDictionarySize(std::uint64_t blockSize) noexcept {
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(blockSize, 4096, 64u << 20));
}

#ifdef ZEL_HAVE_LIBLZMA

LzmaBlock EncodeLzmaBlock(std::span<const std::uint8_t> input, bool x86) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6)) throw std::runtime_error("liblzma has no preset 6");
    options.dict_size = LzmaDictionarySize(input.size());
    lzma_filter filters[3];
    std::size_t n = 0;
    if (x86) filters[n++] = {LZMA_FILTER_X86, nullptr};
    filters[n++] = {LZMA_FILTER_LZMA2, &options};
    filters[n] = {LZMA_VLI_UNKNOWN, nullptr};

    LzmaBlock block;
    std::uint32_t propertySize = 0;
    if (lzma_properties_size(&propertySize, &filters[n - 1]) != LZMA_OK || propertySize != 1 ||
        lzma_properties_encode(&filters[n - 1], &block.property) != LZMA_OK) {
        throw std::runtime_error("liblzma cannot state the dictionary size");
    }
    block.stored.resize(lzma_raw_encoder_memusage(filters) == UINT64_MAX ? 0 : input.size() + input.size() / 16 + 4096);
    std::size_t written = 0;
    for (;;) {
        const lzma_ret result = lzma_raw_buffer_encode(filters, nullptr, input.data(), input.size(),
                                                       block.stored.data(), &written, block.stored.size());
        if (result == LZMA_OK) break;
        if (result != LZMA_BUF_ERROR) throw std::runtime_error("liblzma failed to compress a block");
        written = 0;
        block.stored.resize(block.stored.size() * 2 + 4096);
    }
    block.stored.resize(written);
    return block;
}

const char* LzmaEncoderName() noexcept { return "liblzma"; }

#else

LzmaBlock EncodeLzmaBlock(std::span<const std::uint8_t> input, bool x86) {
    // The filter converts in place, so it works on a copy; without it the
    // input is compressed as it is.
    std::vector<std::uint8_t> filtered;
    if (x86) {
        filtered.assign(input.begin(), input.end());
        X86BranchFilter filter(X86BranchFilter::Direction::kEncode);
        filter.Convert(filtered);  // the last bytes it leaves are the stream's end and stay as they are
        input = filtered;
    }
    Lzma2EncoderOptions options;
    options.dictionarySize = LzmaDictionarySize(input.size());
    LzmaBlock block;
    block.stored = EncodeLzma2(input, options);
    block.property = Lzma2DictionaryProperty(options.dictionarySize);
    return block;
}

const char* LzmaEncoderName() noexcept { return "ZelSetup's own"; }

#endif

}  // namespace zel
