// The x86 branch filter: the same bytes as liblzma's x86 filter, and decoding
// that undoes encoding, however the stream is cut into calls.
#include "payload/lzma/x86_branch_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/random_bytes.h"
#include "native/payload/lzma/liblzma_oracle.h"
#include "native/payload/lzma/sample_data.h"

namespace zel {
namespace {

using Direction = X86BranchFilter::Direction;

// Random bytes thick with E8/E9 opcodes and 00/FF operand bytes, so that
// opcodes inside other operands, in every neighbour pattern, are common.
std::vector<std::uint8_t> BranchyBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes) {
        switch (random() % 8) {
            case 0:
                b = 0xE8;
                break;
            case 1:
                b = 0xE9;
                break;
            case 2:
                b = 0x00;
                break;
            case 3:
                b = 0xFF;
                break;
            default:
                b = static_cast<std::uint8_t>(random());
                break;
        }
    }
    return bytes;
}

// Feeds `data` to one filter in calls of the given sizes (repeated), passing
// the bytes a call left unfinished again at the front of the next, as callers must.
std::vector<std::uint8_t> ConvertInPieces(std::span<const std::uint8_t> data, Direction direction,
                                          const std::vector<std::size_t>& pieces) {
    X86BranchFilter filter(direction);
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> work;
    std::size_t at = 0;
    std::size_t mostLeft = 0;
    for (std::size_t call = 0; at < data.size(); ++call) {
        const std::size_t count = std::min(pieces[call % pieces.size()], data.size() - at);
        work.insert(work.end(), data.begin() + at, data.begin() + at + count);
        at += count;
        const std::size_t done = filter.Convert(work);
        mostLeft = std::max(mostLeft, work.size() - done);
        out.insert(out.end(), work.begin(), work.begin() + done);
        work.erase(work.begin(), work.begin() + done);
    }
    EXPECT_LE(mostLeft, 4u);
    out.insert(out.end(), work.begin(), work.end());
    return out;
}

TEST(X86BranchFilterTest, MatchesLiblzmaAndDecodesWhatItEncodes) {
    struct Input {
        std::string name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Input> inputs = {
        {"branchy 1", BranchyBytes(200000, 1)},
        {"branchy 2", BranchyBytes(70001, 2)},
        {"text", test::SampleText(50000, 3)},
        {"random", test::RandomBytes(100000, 4)},
    };
    for (std::size_t size = 0; size <= 12; ++size) {
        inputs.push_back({"short " + std::to_string(size), BranchyBytes(size, 100 + static_cast<unsigned>(size))});
    }
    // Six E8 bytes in a row and calls next to each other: the neighbour rules at their busiest.
    inputs.push_back({"opcode rows", {0xE8, 0xE8, 0xE8, 0xE8, 0xE8, 0xE8, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x10, 0x00,
                                      0x00, 0xFF, 0xE9, 0x00, 0xE8, 0xFF, 0x00, 0xE8, 0x01, 0x02, 0x03, 0x00}});
    if (std::vector<std::uint8_t> pe = test::SamplePe(); !pe.empty()) {
        inputs.push_back({"PE file", std::move(pe)});
    }
    const std::vector<std::vector<std::size_t>> cuts = {
        {SIZE_MAX}, {1}, {3}, {5, 7, 4096}, {2, 65536}, {65536},
    };

    for (const Input& input : inputs) {
        const std::vector<std::uint8_t> expected = test::X86EncodeWithLiblzma(input.bytes);
        for (const std::vector<std::size_t>& cut : cuts) {
            if (cut.front() < 5 && input.bytes.size() > 200000) continue;  // slow, and nothing new
            const std::string label = input.name + ", calls of " + std::to_string(cut.front()) + "...";
            const std::vector<std::uint8_t> encoded = ConvertInPieces(input.bytes, Direction::kEncode, cut);
            ASSERT_TRUE(encoded == expected) << label;
            ASSERT_TRUE(ConvertInPieces(expected, Direction::kDecode, cut) == input.bytes) << label;
        }
    }
}

// Machine code is where the filter earns its keep; make sure it converts there.
TEST(X86BranchFilterTest, ConvertsTheCallsOfMachineCode) {
    const std::vector<std::uint8_t> pe = test::SamplePe();
    if (pe.empty()) GTEST_SKIP() << "Wine's libraries are not installed";
    const std::vector<std::uint8_t> encoded = ConvertInPieces(pe, Direction::kEncode, {SIZE_MAX});
    std::size_t changed = 0;
    for (std::size_t i = 0; i < pe.size(); ++i) changed += pe[i] != encoded[i];
    EXPECT_GT(changed, 5000u);
}

}  // namespace
}  // namespace zel
