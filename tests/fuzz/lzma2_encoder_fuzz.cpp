// libFuzzer target: our LZMA2 encoder on arbitrary bytes and options, checked
// by liblzma's raw decoder, which must give the input back exactly. The first
// four bytes choose the dictionary size, nice length, search depth and how
// often the rest is repeated (so that far matches and several chunks occur).
#include <lzma.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "builder/compression/lzma2_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    zel::Lzma2EncoderOptions options;
    options.dictionarySize = 4096u << (data[0] % 8);
    options.niceLength = data[1];
    options.searchDepth = data[2] % 64;
    const int repeats = 1 + data[3] % 32;
    std::vector<std::uint8_t> input;
    for (int i = 0; i < repeats; ++i) input.insert(input.end(), data + 4, data + size);

    const std::vector<std::uint8_t> packed = zel::EncodeLzma2(input, options);

    lzma_options_lzma lzma{};
    lzma_lzma_preset(&lzma, 6);
    lzma.dict_size = options.dictionarySize;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &lzma}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<std::uint8_t> out(input.size() + 1);
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    const lzma_ret ret =
        lzma_raw_buffer_decode(filters, nullptr, packed.data(), &inPos, packed.size(), out.data(), &outPos, out.size());
    if (ret != LZMA_OK || inPos != packed.size() || outPos != input.size() ||
        !std::equal(input.begin(), input.end(), out.begin())) {
        std::abort();
    }
    return 0;
}
