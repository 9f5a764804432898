// Decode speed of our LZMA2 block decoder against liblzma's, on the same raw
// stream: the given files back to back, compressed by liblzma with
// [x86,] LZMA2 at a preset. Both hand their output on in pieces of at most
// 1 MiB, which are hashed so that the two results are compared too.
//
//   lzma2_decode_bench [--x86] [--preset N] [--dict BYTES] [--runs N] [--cache STREAM] FILE...
//
// --cache keeps the compressed stream in STREAM and reuses it when it exists
// (for the same files and settings), since compressing takes far longer.
#include <lzma.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "payload/lzma/lzma2_decoder.h"
#include "payload/xxh64.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Processor time: on a shared machine it varies far less than the wall clock.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "error: %s\n", what.c_str());
    std::exit(1);
}

std::uint64_t DecodeWithLiblzma(std::span<const std::uint8_t> stream, const lzma_filter* filters) {
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&strm, filters) != LZMA_OK) Fail("lzma_raw_decoder");
    std::vector<std::uint8_t> piece(1 << 20);
    zel::Xxh64Stream hash;
    strm.next_in = stream.data();
    strm.avail_in = stream.size();
    lzma_ret ret = LZMA_OK;
    while (ret == LZMA_OK) {
        strm.next_out = piece.data();
        strm.avail_out = piece.size();
        ret = lzma_code(&strm, LZMA_FINISH);
        hash.Update(std::span(piece.data(), piece.size() - strm.avail_out));
    }
    if (ret != LZMA_STREAM_END) Fail("liblzma could not decode the stream");
    lzma_end(&strm);
    return hash.Digest();
}

}  // namespace

int main(int argc, char** argv) {
    bool x86 = false;
    std::uint32_t preset = 6;
    std::uint32_t dictionary = 0;
    int runs = 3;
    std::string cache;
    std::vector<std::uint8_t> data;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--x86") {
            x86 = true;
        } else if (arg == "--preset" && i + 1 < argc) {
            preset = static_cast<std::uint32_t>(std::stoul(argv[++i]));
        } else if (arg == "--dict" && i + 1 < argc) {
            dictionary = static_cast<std::uint32_t>(std::stoul(argv[++i]));
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::stoi(argv[++i]);
        } else if (arg == "--cache" && i + 1 < argc) {
            cache = argv[++i];
        } else {
            std::ifstream file(arg, std::ios::binary);
            if (!file) Fail("cannot read " + arg);
            data.insert(data.end(), std::istreambuf_iterator<char>(file), {});
        }
    }
    if (data.empty())
        Fail("usage: lzma2_decode_bench [--x86] [--preset N] [--dict BYTES] [--runs N] [--cache STREAM] FILE...");

    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, preset)) Fail("bad preset");
    if (dictionary != 0) options.dict_size = dictionary;
    std::vector<lzma_filter> filters;
    if (x86) filters.push_back({LZMA_FILTER_X86, nullptr});
    filters.push_back({LZMA_FILTER_LZMA2, &options});
    filters.push_back({LZMA_VLI_UNKNOWN, nullptr});
    std::uint8_t property = 0;
    if (lzma_properties_encode(&filters[filters.size() - 2], &property) != LZMA_OK) Fail("properties");

    std::vector<std::uint8_t> stream;
    Clock::time_point start = Clock::now();
    if (std::ifstream cached(cache, std::ios::binary); !cache.empty() && cached) {
        stream.assign(std::istreambuf_iterator<char>(cached), {});
    } else {
        stream.resize(lzma_stream_buffer_bound(data.size()));
        std::size_t written = 0;
        if (lzma_raw_buffer_encode(filters.data(), nullptr, data.data(), data.size(), stream.data(), &written,
                                   stream.size()) != LZMA_OK) {
            Fail("lzma_raw_buffer_encode");
        }
        stream.resize(written);
        if (!cache.empty()) {
            std::ofstream(cache, std::ios::binary)
                .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
        }
    }
    std::printf("input %.1f MB, compressed %.1f MB with preset %u, dictionary %u%s (encoding or loading %.1f s)\n",
                data.size() / 1e6, stream.size() / 1e6, preset, options.dict_size, x86 ? ", x86" : "", Seconds(start));
    const std::uint64_t expected = zel::Xxh64(data);
    const std::uint64_t size = data.size();
    data = {};

    double bestLiblzma = 1e9;
    double bestOurs = 1e9;
    for (int run = 0; run < runs; ++run) {
        double cpu = CpuSeconds();
        if (DecodeWithLiblzma(stream, filters.data()) != expected) Fail("liblzma decoded other bytes");
        bestLiblzma = std::min(bestLiblzma, CpuSeconds() - cpu);

        cpu = CpuSeconds();
        zel::Xxh64Stream hash;
        const bool ok = zel::DecodeLzma2Block(stream, property, x86, size, [&](std::span<const std::uint8_t> piece) {
            hash.Update(piece);
            return true;
        });
        if (!ok || hash.Digest() != expected) Fail("our decoder decoded other bytes");
        bestOurs = std::min(bestOurs, CpuSeconds() - cpu);
    }
    std::printf("liblzma %.1f MB/s, ours %.1f MB/s (%.2f x liblzma's time), processor time, best of %d\n",
                size / 1e6 / bestLiblzma, size / 1e6 / bestOurs, bestOurs / bestLiblzma, runs);
    return 0;
}
