// LZMA blocks as the builder makes them, read back by setup.exe's own decoder:
// the Linux builder's (liblzma) and the Windows builder's (our own encoder),
// with and without the x86 filter, and solid blocks cut as planned.
#include "builder/compression/lzma_block_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/compressed_payload.h"
#include "builder/compression/lzma2_encoder.h"
#include "common/random_bytes.h"
#include "payload/lzma/lzma2_decoder.h"
#include "payload/lzma/x86_branch_filter.h"

namespace zel {
namespace {

std::vector<std::uint8_t> Decoded(const std::vector<std::uint8_t>& stored, std::uint8_t property, bool x86,
                                  std::uint64_t size) {
    std::vector<std::uint8_t> out;
    const bool ok = DecodeLzma2Block(stored, property, x86, size, [&](std::span<const std::uint8_t> chunk) {
        out.insert(out.end(), chunk.begin(), chunk.end());
        return true;
    });
    EXPECT_TRUE(ok);
    return out;
}

// Call and jump instructions of 32-bit code, among other bytes.
std::vector<std::uint8_t> CodeLike(std::size_t size) {
    std::vector<std::uint8_t> bytes = test::RandomBytes(size, 21);
    for (std::size_t i = 0; i + 5 < size; i += 37) {
        bytes[i] = 0xE8;
        bytes[i + 4] = 0;
    }
    return bytes;
}

TEST(LzmaBlockTest, BothEncodersWriteWhatSetupExeDecodes) {
    const std::vector<std::vector<std::uint8_t>> inputs = {
        {}, {7}, std::vector<std::uint8_t>(300000, 'z'), test::RandomBytes(70000, 3), CodeLike(200000)};
    for (const std::vector<std::uint8_t>& input : inputs) {
        for (const bool x86 : {false, true}) {
            SCOPED_TRACE(std::to_string(input.size()) + (x86 ? " x86" : ""));
            // The builder's own encoder (this one links liblzma).
            const LzmaBlock block = EncodeLzmaBlock(input, x86);
            EXPECT_TRUE(Decoded(block.stored, block.property, x86, input.size()) == input);
            // Our encoder, as the Windows builder uses it.
            std::vector<std::uint8_t> filtered = input;
            if (x86) X86BranchFilter(X86BranchFilter::Direction::kEncode).Convert(filtered);
            Lzma2EncoderOptions options;
            options.dictionarySize = LzmaDictionarySize(input.size());
            const std::vector<std::uint8_t> ours = EncodeLzma2(filtered, options);
            EXPECT_TRUE(Decoded(ours, Lzma2DictionaryProperty(options.dictionarySize), x86, input.size()) == input);
        }
    }
}

// Start-up's entries in a block of their own; 32-bit programs behind the
// filter; the rest by extension, then path; blocks of about equal size.
TEST(LzmaBlockTest, SolidBlocksArePlannedByKindExtensionAndSize) {
    std::vector<std::uint8_t> i386(1024, 0);
    i386[0] = 'M', i386[1] = 'Z', i386[0x3C] = 0x80;
    i386[0x80] = 'P', i386[0x81] = 'E', i386[0x84] = 0x4C, i386[0x85] = 0x01;
    std::vector<std::uint8_t> x64 = i386;
    x64[0x84] = 0x64, x64[0x85] = 0x86;
    auto item = [](std::string name, std::vector<std::uint8_t> data) {
        ProductItem result;
        result.name = std::move(name);
        result.size = data.size();
        result.data = std::move(data);
        return result;
    };
    const std::vector<ProductItem> items = {
        item("License.txt", {'l'}),  item("files/a.txt", std::vector<std::uint8_t>(40, 'a')),
        item("files/b.dll", x64),    item("files/c.txt", std::vector<std::uint8_t>(40, 'c')),
        item("files/old.exe", i386), item("files/z.dat", std::vector<std::uint8_t>(2000, 'z')),
        item("setup.ini", {'s'}),
    };
    CompressionSettings settings;
    settings.method = PayloadCompression::Lzma;
    settings.blockSize = 2000;
    settings.isStartup = [](const std::string& name) { return name == "setup.ini" || name == "License.txt"; };
    const std::vector<CompressedPayload::Planned> planned = CompressedPayload::Plan(items, settings);
    auto names = [&](const CompressedPayload::Planned& block) {
        std::vector<std::string> result;
        for (const std::size_t i : block.items) result.push_back(items[i].name);
        return result;
    };
    ASSERT_EQ(planned.size(), 4u);
    EXPECT_EQ(names(planned[0]), (std::vector<std::string>{"License.txt", "setup.ini"}));
    EXPECT_FALSE(planned[0].x86);
    EXPECT_EQ(names(planned[1]), (std::vector<std::string>{"files/old.exe"}));
    EXPECT_TRUE(planned[1].x86);
    // 3104 bytes of the rest in two blocks of about 1552: by extension (dat, dll, txt), then path.
    EXPECT_EQ(names(planned[2]), (std::vector<std::string>{"files/z.dat"}));
    EXPECT_EQ(names(planned[3]), (std::vector<std::string>{"files/b.dll", "files/a.txt", "files/c.txt"}));
    EXPECT_FALSE(planned[3].x86);
}

}  // namespace
}  // namespace zel
