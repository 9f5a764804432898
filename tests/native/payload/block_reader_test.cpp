#include "payload/block_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "common/block_archive.h"
#include "common/random_bytes.h"

namespace zel {
namespace {

using test::BlockItem;
using test::Blocks;
using test::RandomBytes;

std::vector<std::uint8_t> Text(std::size_t size) {
    const std::string line = "The quick brown fox jumps over the lazy dog. 0123456789\r\n";
    std::vector<std::uint8_t> out;
    while (out.size() < size) out.insert(out.end(), line.begin(), line.end());
    out.resize(size);
    return out;
}

const std::vector<BlockItem> kItems = {
    {"empty", {}},
    {"one byte", {0x5A}},
    {"random", RandomBytes(70000, 11)},
    {"runs over several chunks", std::vector<std::uint8_t>(3 * kBlockChunkSize + 17, 'r')},
    {"text", Text(kBlockChunkSize + 1)},
    {"just a chunk", RandomBytes(kBlockChunkSize, 12)},
};

struct Read {
    BlockRead result;
    std::vector<std::uint8_t> bytes;
    std::size_t largestChunk = 0;
};

Read ReadEntry(const std::vector<std::uint8_t>& bytes, const PayloadArchive& archive, const PayloadEntry& entry) {
    Read read;
    read.result = ReadBlockRange(bytes, archive.blocks[entry.block], entry.offset, entry.size,
                                 [&](std::span<const std::uint8_t> chunk) {
                                     read.bytes.insert(read.bytes.end(), chunk.begin(), chunk.end());
                                     read.largestChunk = std::max(read.largestChunk, chunk.size());
                                     return true;
                                 });
    return read;
}

TEST(BlockReaderTest, EveryEntryReadsBackInEveryLayout) {
    for (const Blocks how : {Blocks::Stored, Blocks::DeflateEach, Blocks::DeflateSolid}) {
        SCOPED_TRACE(static_cast<int>(how));
        const test::BuiltArchive built = test::BuildBlockArchive(kItems, how);
        PayloadArchive archive;
        ASSERT_TRUE(ParsePayloadArchive(built.bytes, archive));
        for (std::size_t i = 0; i < kItems.size(); ++i) {
            const Read read = ReadEntry(built.bytes, archive, archive.entries[i]);
            EXPECT_EQ(read.result, BlockRead::Done) << kItems[i].name;
            EXPECT_TRUE(read.bytes == kItems[i].data) << kItems[i].name;
            if (archive.blocks[archive.entries[i].block].method == BlockMethod::Deflate) {
                EXPECT_LE(read.largestChunk, kBlockChunkSize) << kItems[i].name;
            }
        }
    }
    // Compressible entries were compressed, the random one stored.
    const test::BuiltArchive each = test::BuildBlockArchive(kItems, Blocks::DeflateEach);
    PayloadArchive archive;
    ASSERT_TRUE(ParsePayloadArchive(each.bytes, archive));
    EXPECT_EQ(archive.blocks[2].method, BlockMethod::Stored);
    EXPECT_EQ(archive.blocks[3].method, BlockMethod::Deflate);
}

TEST(BlockReaderTest, SinkStopsTheReading) {
    const test::BuiltArchive built = test::BuildBlockArchive(kItems, Blocks::DeflateEach);
    PayloadArchive archive;
    ASSERT_TRUE(ParsePayloadArchive(built.bytes, archive));
    for (const std::size_t i : {std::size_t{2}, std::size_t{3}}) {
        int calls = 0;
        const PayloadEntry& entry = archive.entries[i];
        EXPECT_EQ(ReadBlockRange(built.bytes, archive.blocks[entry.block], 0, entry.size,
                                 [&](std::span<const std::uint8_t>) { return ++calls < 1; }),
                  BlockRead::Stopped);
        EXPECT_EQ(calls, 1);
    }
}

// A deflate stream that lies about itself, or is damaged, is Malformed or, if
// it still decodes, gives exactly the size the block claims; it is never read
// beyond its stored bytes (ASan sees that: the stored bytes are copied into a
// buffer of their own size).
TEST(BlockReaderTest, LyingOrDamagedStreamsNeverOverrun) {
    std::vector<std::uint8_t> original = Text(200000);
    const std::vector<std::uint8_t> random = RandomBytes(5000, 13);
    original.insert(original.end(), random.begin(), random.end());
    const std::vector<std::uint8_t> packed = test::RawDeflate(original);

    struct Case {
        const char* what;
        std::vector<std::uint8_t> stored;
        std::uint64_t originalSize;
        bool mayDecode;
    };
    std::vector<Case> cases = {
        {"as written", packed, original.size(), true},
        {"one byte short", {packed.begin(), packed.end() - 1}, original.size(), false},
        {"half",
         {packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2)},
         original.size(),
         false},
        {"a byte after the end", packed, original.size(), false},
        {"claims one byte more", packed, original.size() + 1, false},
        {"claims one byte less", packed, original.size() - 1, false},
        {"claims nothing", packed, 0, false},
        {"empty stream", {}, original.size(), false},
        {"random bytes", RandomBytes(4096, 14), original.size(), false},
    };
    cases[3].stored.push_back(0);
    for (const std::size_t at :
         {std::size_t{0}, std::size_t{1}, packed.size() / 3, packed.size() / 2, packed.size() - 2}) {
        for (const std::uint8_t mask : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
            Case flipped{"a flipped byte", packed, original.size(), true};
            flipped.stored[at] ^= mask;
            cases.push_back(std::move(flipped));
        }
    }
    for (const Case& c : cases) {
        const PayloadBlock block{BlockMethod::Deflate, BlockFilter::None, 0, 0, c.stored.size(), c.originalSize};
        std::uint64_t got = 0;
        std::vector<std::uint8_t> out;
        const BlockRead result =
            ReadBlockRange(c.stored, block, 0, c.originalSize, [&](std::span<const std::uint8_t> chunk) {
                got += chunk.size();
                if (!c.mayDecode) return true;
                out.insert(out.end(), chunk.begin(), chunk.end());
                return true;
            });
        if (!c.mayDecode) {
            EXPECT_EQ(result, BlockRead::Malformed) << c.what;
        } else if (result == BlockRead::Done) {
            EXPECT_EQ(got, c.originalSize) << c.what;
        }
        if (std::string(c.what) == "as written") {
            EXPECT_TRUE(out == original);
        }
        EXPECT_LE(got, c.originalSize) << c.what;
    }
    // Filters and methods this reader does not know are refused, not guessed.
    for (const PayloadBlock& block :
         {PayloadBlock{BlockMethod::Deflate, BlockFilter::X86, 0, 0, packed.size(), original.size()},
          PayloadBlock{BlockMethod{7}, BlockFilter::None, 0, 0, packed.size(), original.size()}}) {
        EXPECT_EQ(ReadBlockRange(packed, block, 0, original.size(), [](auto) { return true; }), BlockRead::Malformed);
    }
}

}  // namespace
}  // namespace zel
