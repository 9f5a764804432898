// Compares our LZMA2 encoder with liblzma's (preset 6, the same dictionary) on
// a corpus of PE libraries: the *.dll files of a folder of at most 20 MB each,
// in name order, concatenated up to about 200 MB and cut into 64 MiB blocks,
// as the builder's solid blocks would be. Prints each block's sizes, the size
// ratio and both speeds (MB per CPU second of the encoding thread), and checks
// that liblzma decodes our output.
//
//   lzma_encoder_ratio [--dir DIR] [--total-mb N] [--block-mib N] [--only ours|liblzma]
//                      [--nice N] [--depth N]
#include <lzma.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "builder/compression/lzma2_encoder.h"

namespace {

std::vector<std::uint8_t> Corpus(const std::filesystem::path& dir, std::uint64_t totalBytes) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().extension() == ".dll" && entry.file_size() <= 20'000'000) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::uint8_t> corpus;
    for (const auto& file : files) {
        if (corpus.size() >= totalBytes) break;
        std::ifstream in(file, std::ios::binary);
        corpus.insert(corpus.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return corpus;
}

std::vector<std::uint8_t> LiblzmaEncode(std::span<const std::uint8_t> input, std::uint32_t dictionarySize) {
    lzma_options_lzma options{};
    lzma_lzma_preset(&options, 6);
    options.dict_size = dictionarySize;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<std::uint8_t> out(lzma_stream_buffer_bound(input.size()));
    std::size_t outPos = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, input.data(), input.size(), out.data(), &outPos, out.size()) !=
        LZMA_OK) {
        std::fprintf(stderr, "liblzma failed to encode\n");
        std::exit(1);
    }
    out.resize(outPos);
    return out;
}

bool LiblzmaDecodes(const std::vector<std::uint8_t>& packed, std::span<const std::uint8_t> original,
                    std::uint32_t dictionarySize) {
    lzma_options_lzma options{};
    lzma_lzma_preset(&options, 6);
    options.dict_size = dictionarySize;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<std::uint8_t> out(original.size() + 1);
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    const lzma_ret ret =
        lzma_raw_buffer_decode(filters, nullptr, packed.data(), &inPos, packed.size(), out.data(), &outPos, out.size());
    return ret == LZMA_OK && inPos == packed.size() && outPos == original.size() &&
           std::equal(original.begin(), original.end(), out.begin());
}

// CPU time of this thread: the machine may be shared, and each encoder runs on one core.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path dir = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
    std::uint64_t totalMb = 200;
    std::uint64_t blockMib = 64;
    std::string only;
    zel::Lzma2EncoderOptions ours;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const char* value = argv[i + 1];
        if (arg == "--dir") {
            dir = value;
        } else if (arg == "--total-mb") {
            totalMb = std::strtoull(value, nullptr, 10);
        } else if (arg == "--block-mib") {
            blockMib = std::strtoull(value, nullptr, 10);
        } else if (arg == "--only") {
            only = value;
        } else if (arg == "--nice") {
            ours.niceLength = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--depth") {
            ours.searchDepth = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
        } else {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    const bool runOurs = only.empty() || only == "ours";
    const bool runLiblzma = only.empty() || only == "liblzma";

    const std::vector<std::uint8_t> corpus = Corpus(dir, totalMb * 1'000'000);
    const std::size_t blockSize = static_cast<std::size_t>(blockMib) << 20;
    std::printf("corpus %zu bytes, blocks of %zu bytes, nice %u depth %u\n", corpus.size(), blockSize, ours.niceLength,
                ours.searchDepth);
    std::printf("%6s %12s %12s %12s %7s %10s %10s\n", "block", "size", "ours", "liblzma", "ratio", "ours MB/s",
                "xz MB/s");
    std::uint64_t oursTotal = 0;
    std::uint64_t xzTotal = 0;
    double oursSeconds = 0;
    double xzSeconds = 0;
    bool allDecoded = true;
    for (std::size_t start = 0, index = 0; start < corpus.size(); start += blockSize, ++index) {
        const std::span<const std::uint8_t> block =
            std::span(corpus).subspan(start, std::min(blockSize, corpus.size() - start));
        const auto dictionarySize = static_cast<std::uint32_t>(std::min<std::size_t>(64u << 20, block.size()));
        ours.dictionarySize = dictionarySize;
        std::size_t oursSize = 0;
        std::size_t xzSize = 0;
        double oursTime = 0;
        double xzTime = 0;
        if (runOurs) {
            const double t = CpuSeconds();
            const auto packed = zel::EncodeLzma2(block, ours);
            oursTime = CpuSeconds() - t;
            oursSize = packed.size();
            if (!LiblzmaDecodes(packed, block, dictionarySize)) {
                std::printf("block %zu: liblzma does not decode our stream to the input\n", index);
                allDecoded = false;
            }
        }
        if (runLiblzma) {
            const double t = CpuSeconds();
            xzSize = LiblzmaEncode(block, dictionarySize).size();
            xzTime = CpuSeconds() - t;
        }
        oursTotal += oursSize;
        xzTotal += xzSize;
        oursSeconds += oursTime;
        xzSeconds += xzTime;
        const double mb = static_cast<double>(block.size()) / 1e6;
        std::printf("%6zu %12zu %12zu %12zu %7.4f %10.2f %10.2f\n", index, block.size(), oursSize, xzSize,
                    xzSize != 0 ? static_cast<double>(oursSize) / static_cast<double>(xzSize) : 0.0,
                    oursTime > 0 ? mb / oursTime : 0.0, xzTime > 0 ? mb / xzTime : 0.0);
    }
    const double mb = static_cast<double>(corpus.size()) / 1e6;
    std::printf("%6s %12zu %12llu %12llu %7.4f %10.2f %10.2f\n", "total", corpus.size(),
                static_cast<unsigned long long>(oursTotal), static_cast<unsigned long long>(xzTotal),
                xzTotal != 0 ? static_cast<double>(oursTotal) / static_cast<double>(xzTotal) : 0.0,
                oursSeconds > 0 ? mb / oursSeconds : 0.0, xzSeconds > 0 ? mb / xzSeconds : 0.0);
    lzma_options_lzma xzOptions{};
    lzma_lzma_preset(&xzOptions, 6);
    xzOptions.dict_size =
        static_cast<std::uint32_t>(std::min<std::size_t>(64u << 20, std::min(blockSize, corpus.size())));
    const lzma_filter xzFilters[] = {{LZMA_FILTER_LZMA2, &xzOptions}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::printf("liblzma's encoder needs %.1f MiB for that dictionary\n",
                static_cast<double>(lzma_raw_encoder_memusage(xzFilters)) / (1 << 20));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory %.1f MiB (corpus %.1f MiB included)\n", usage.ru_maxrss / 1024.0,
                static_cast<double>(corpus.size()) / (1 << 20));
    return allDecoded ? 0 : 1;
}
