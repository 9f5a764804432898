// Streams made by the system's liblzma, the reference the LZMA2 decoder and the
// x86 branch filter are checked against.
#pragma once

#include <gtest/gtest.h>
#include <lzma.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace zel::test {

struct Lzma2Settings {
    std::uint32_t preset = 6;
    std::uint32_t dictionarySize = 0;  // 0: the preset's
    int lc = -1, lp = -1, pb = -1;     // -1: the preset's
    bool x86 = false;
};

struct Lzma2Stream {
    std::vector<std::uint8_t> bytes;
    std::uint8_t property = 0;  // the dictionary size as LZMA2's property byte
};

inline lzma_options_lzma Lzma2Options(const Lzma2Settings& settings) {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, settings.preset)) throw std::runtime_error("lzma_lzma_preset");
    if (settings.dictionarySize != 0) options.dict_size = settings.dictionarySize;
    if (settings.lc >= 0) options.lc = static_cast<std::uint32_t>(settings.lc);
    if (settings.lp >= 0) options.lp = static_cast<std::uint32_t>(settings.lp);
    if (settings.pb >= 0) options.pb = static_cast<std::uint32_t>(settings.pb);
    return options;
}

// The property byte liblzma writes for an LZMA2 dictionary size.
inline std::uint8_t Lzma2Property(std::uint32_t dictionarySize) {
    lzma_options_lzma options{};
    options.dict_size = dictionarySize;
    const lzma_filter filter{LZMA_FILTER_LZMA2, &options};
    std::uint8_t property = 0;
    if (lzma_properties_encode(&filter, &property) != LZMA_OK) throw std::runtime_error("lzma_properties_encode");
    return property;
}

// A raw stream through the filter chain [x86,] LZMA2, as liblzma writes it.
inline Lzma2Stream EncodeLzma2(std::span<const std::uint8_t> data, const Lzma2Settings& settings = {}) {
    lzma_options_lzma options = Lzma2Options(settings);
    std::vector<lzma_filter> filters;
    if (settings.x86) filters.push_back({LZMA_FILTER_X86, nullptr});
    filters.push_back({LZMA_FILTER_LZMA2, &options});
    filters.push_back({LZMA_VLI_UNKNOWN, nullptr});
    Lzma2Stream stream;
    stream.bytes.resize(lzma_stream_buffer_bound(data.size()));
    std::size_t written = 0;
    const lzma_ret ret = lzma_raw_buffer_encode(filters.data(), nullptr, data.data(), data.size(), stream.bytes.data(),
                                                &written, stream.bytes.size());
    if (ret != LZMA_OK) throw std::runtime_error("lzma_raw_buffer_encode: " + std::to_string(ret));
    stream.bytes.resize(written);
    if (lzma_properties_encode(&filters[filters.size() - 2], &stream.property) != LZMA_OK) {
        throw std::runtime_error("lzma_properties_encode");
    }
    return stream;
}

// liblzma's raw decoder of [LZMA2] alone, so that an [x86, LZMA2] stream gives
// the bytes as the x86 filter left them.
inline std::vector<std::uint8_t> DecodeLzma2WithLiblzma(std::span<const std::uint8_t> stream, std::size_t size,
                                                        std::uint32_t dictionarySize) {
    lzma_options_lzma options{};
    options.dict_size = dictionarySize;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<std::uint8_t> out(size + 1);
    std::size_t read = 0;
    std::size_t written = 0;
    const lzma_ret ret =
        lzma_raw_buffer_decode(filters, nullptr, stream.data(), &read, stream.size(), out.data(), &written, out.size());
    if (ret != LZMA_OK || written != size) throw std::runtime_error("lzma_raw_buffer_decode: " + std::to_string(ret));
    out.resize(size);
    return out;
}

// Whether liblzma's raw decoder takes `stream` as a whole [x86,] LZMA2 stream of
// exactly `size` bytes, with nothing after it; `out` gets what it decoded.
inline bool LiblzmaAccepts(std::span<const std::uint8_t> stream, std::uint32_t dictionarySize, bool x86,
                           std::size_t size, std::vector<std::uint8_t>& out) {
    lzma_options_lzma options{};
    options.dict_size = dictionarySize;
    std::vector<lzma_filter> filters;
    if (x86) filters.push_back({LZMA_FILTER_X86, nullptr});
    filters.push_back({LZMA_FILTER_LZMA2, &options});
    filters.push_back({LZMA_VLI_UNKNOWN, nullptr});
    out.assign(size + 1, 0);
    std::size_t read = 0;
    std::size_t written = 0;
    const lzma_ret ret = lzma_raw_buffer_decode(filters.data(), nullptr, stream.data(), &read, stream.size(),
                                                out.data(), &written, out.size());
    out.resize(written);
    return ret == LZMA_OK && written == size && read == stream.size();
}

// The bytes of `data` as liblzma's x86 filter (start offset 0) encodes them.
inline std::vector<std::uint8_t> X86EncodeWithLiblzma(std::span<const std::uint8_t> data) {
    Lzma2Settings settings;
    settings.preset = 0;
    settings.x86 = true;
    const Lzma2Stream stream = EncodeLzma2(data, settings);
    return DecodeLzma2WithLiblzma(stream.bytes, data.size(), Lzma2Options(settings).dict_size);
}

}  // namespace zel::test
