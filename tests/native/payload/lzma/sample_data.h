// Inputs for the LZMA2 and x86 filter tests: text, runs, machine code.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace zel::test {

// Words from a small vocabulary: compresses well, with matches at every distance.
inline std::vector<std::uint8_t> SampleText(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {"setup",   "install",    "folder", "the",     "a",  "of",
                                         "payload", "dictionary", "match",  "literal", "\n", "Windows",
                                         "file",    "copy",       "and",    "to"};
    std::mt19937 random(seed);
    std::vector<std::uint8_t> text;
    text.reserve(size + 16);
    while (text.size() < size) {
        const std::string word = kWords[random() % std::size(kWords)];
        text.insert(text.end(), word.begin(), word.end());
        text.push_back(' ');
    }
    text.resize(size);
    return text;
}

// Long runs of one byte and short repeated patterns: long matches at short distances.
inline std::vector<std::uint8_t> SampleRuns(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size + 5000);
    while (bytes.size() < size) {
        const std::size_t length = 1 + random() % 4000;
        const std::size_t period = 1 + random() % 5;
        std::uint8_t pattern[5];
        for (std::uint8_t& b : pattern) b = static_cast<std::uint8_t>(random());
        for (std::size_t i = 0; i < length; ++i) bytes.push_back(pattern[i % period]);
    }
    bytes.resize(size);
    return bytes;
}

// A real x64 PE file, Wine's build of a Windows library; empty when Wine is not installed.
inline std::vector<std::uint8_t> SamplePe() {
    std::ifstream file("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/advapi32.dll", std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

}  // namespace zel::test
