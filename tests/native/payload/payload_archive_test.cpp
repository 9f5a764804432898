#include "payload/payload_archive.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>

#include "common/block_archive.h"
#include "common/random_bytes.h"

namespace zel {
namespace {

struct Item {
    std::string name;
    std::string data;
};

std::vector<std::uint8_t> WriteArchive(const std::vector<Item>& items) {
    std::vector<ArchiveItem> directory;
    for (const Item& item : items) directory.push_back({item.name, item.data.size()});
    std::vector<std::uint8_t> archive = BuildArchiveDirectory(directory);
    for (const Item& item : items) archive.insert(archive.end(), item.data.begin(), item.data.end());
    EXPECT_EQ(archive.size(), ArchiveTotalSize(directory));
    return archive;
}

void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One change to an archive's bytes and whether the reader must still take it.
struct ByteChange {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> change;
    bool valid;
};

// Each change made to a copy of base: the reader takes it or refuses it as
// told, and a refused archive leaves nothing behind.
void ExpectParsedAsTold(const std::vector<std::uint8_t>& base, std::span<const ByteChange> cases) {
    for (const ByteChange& c : cases) {
        std::vector<std::uint8_t> bytes = base;
        c.change(bytes);
        PayloadArchive parsed;
        parsed.entries.push_back({"stale", 0, 0, 0});
        EXPECT_EQ(ParsePayloadArchive(bytes, parsed), c.valid) << c.name;
        if (!c.valid) {
            EXPECT_TRUE(parsed.entries.empty() && parsed.blocks.empty()) << c.name;
        }
    }
}

TEST(PayloadArchiveTest, RoundTripsNamesAndContents) {
    const std::vector<Item> items = {
        {"setup.ini", "\xFF\xFE[\0"},
        {"files/empty.dat", ""},
        {"files/データ/説明.txt", std::string(70000, 'x')},
        {"files/a\\b.txt", "backslash separator"},
    };
    const std::vector<std::uint8_t> archive = WriteArchive(items);
    PayloadArchive parsed;
    ASSERT_TRUE(ParsePayloadArchive(archive, parsed));
    EXPECT_EQ(parsed.version, 1u);
    ASSERT_EQ(parsed.entries.size(), items.size());
    ASSERT_EQ(parsed.blocks.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        // Every entry is a stored block of its own.
        const PayloadEntry& entry = parsed.entries[i];
        const PayloadBlock& block = parsed.blocks[entry.block];
        EXPECT_EQ(entry.name, items[i].name);
        EXPECT_EQ(entry.block, i);
        EXPECT_EQ(entry.offset, 0u);
        EXPECT_EQ(block.method, BlockMethod::Stored);
        EXPECT_EQ(block.storedSize, entry.size);
        EXPECT_EQ(std::string(archive.begin() + static_cast<std::ptrdiff_t>(block.offset),
                              archive.begin() + static_cast<std::ptrdiff_t>(block.offset + block.storedSize)),
                  items[i].data);
    }
}

// The version 2 tables, read back field by field as the format describes
// them, independently of the reader.
TEST(PayloadArchiveTest, BlockArchiveTablesAreLaidOutAsDescribed) {
    std::vector<PayloadBlock> blocks = {{BlockMethod::Deflate, BlockFilter::None, 0, 0, 5, 9},
                                        {BlockMethod::Stored, BlockFilter::None, 0, 0, 3, 3},
                                        {BlockMethod::Lzma2, BlockFilter::X86, 22, 0, 4, 100}};
    const std::vector<PayloadEntry> entries = {{"a", 0, 0, 9}, {"ファイル", 2, 40, 60}, {"c", 1, 0, 3}};
    const std::vector<std::uint8_t> directory = BuildBlockArchiveDirectory(blocks, entries);
    auto le = [&](std::size_t at, int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(directory[at + i]) << (8 * i);
        return value;
    };
    EXPECT_EQ(std::string(directory.begin(), directory.begin() + 8), "ZELSETUP");
    EXPECT_EQ(le(8, 4), 2u);
    EXPECT_EQ(le(12, 4), 3u);  // entries
    EXPECT_EQ(le(16, 4), 3u);  // blocks
    EXPECT_EQ(le(20, 4), 0u);
    const std::size_t third = 24 + 2 * 32;
    EXPECT_EQ(directory[third], 2);       // LZMA2
    EXPECT_EQ(directory[third + 1], 1);   // x86
    EXPECT_EQ(directory[third + 2], 22);  // dictionary size byte
    EXPECT_EQ(le(third + 16, 8), 4u);
    EXPECT_EQ(le(third + 24, 8), 100u);
    // The blocks follow the directory in order, without gaps.
    EXPECT_EQ(blocks[0].offset, directory.size());
    EXPECT_EQ(le(24 + 8, 8), directory.size());
    EXPECT_EQ(blocks[1].offset, directory.size() + 5);
    EXPECT_EQ(blocks[2].offset, directory.size() + 8);
    // The second entry: name length, name, block, offset in the block, size.
    const std::size_t second = 24 + 3 * 32 + 4 + 1 + 20;
    EXPECT_EQ(le(second, 4), std::string("ファイル").size());
    const std::size_t fields = second + 4 + std::string("ファイル").size();
    EXPECT_EQ(le(fields, 4), 2u);
    EXPECT_EQ(le(fields + 4, 8), 40u);
    EXPECT_EQ(le(fields + 12, 8), 60u);

    std::vector<std::uint8_t> archive = directory;
    archive.resize(directory.size() + 12);
    PayloadArchive parsed;
    ASSERT_TRUE(ParsePayloadArchive(archive, parsed));
    EXPECT_EQ(parsed.version, 2u);
    EXPECT_EQ(parsed.directorySize, directory.size());
    ASSERT_EQ(parsed.blocks.size(), 3u);
    EXPECT_EQ(parsed.blocks[2].method, BlockMethod::Lzma2);
    EXPECT_EQ(parsed.blocks[2].filter, BlockFilter::X86);
    EXPECT_EQ(parsed.blocks[2].property, 22);
    ASSERT_EQ(parsed.entries.size(), 3u);
    EXPECT_EQ(parsed.entries[1].name, "ファイル");
    EXPECT_EQ(parsed.entries[1].block, 2u);
    EXPECT_EQ(parsed.entries[1].offset, 40u);
    EXPECT_EQ(parsed.entries[1].size, 60u);
}

// A two-block archive (one stored block of 3 bytes, one deflate block of 2
// stored bytes that decode to 5), its entries "a" in block 0 and "bc" at 1..4
// of block 1: header 24, block table 64 at 24, entry "a" at 88 (4 + 1 + 20),
// entry "bc" at 113 (26), data at 139 and 142; 144 bytes.
TEST(PayloadArchiveTest, BlockArchiveRejectsEverythingBeyondTheBounds) {
    const ByteChange cases[] = {
        {"unchanged", [](auto&) {}, true},
        {"extra bytes after the data", [](auto& b) { b.push_back(0); }, true},
        {"version 3", [](auto& b) { PutLe(b, 8, 3, 4); }, false},
        {"reserved header field", [](auto& b) { PutLe(b, 20, 1, 4); }, false},
        {"block count beyond the table", [](auto& b) { PutLe(b, 16, 3, 4); }, false},
        {"block count huge", [](auto& b) { PutLe(b, 16, 0xFFFFFFFF, 4); }, false},
        {"entry count beyond the directory", [](auto& b) { PutLe(b, 12, 3, 4); }, false},
        {"unknown method", [](auto& b) { b[24] = 3; }, false},
        {"stored with a filter", [](auto& b) { b[25] = 1; }, false},
        {"unknown filter", [](auto& b) { b[56 + 1] = 2; }, false},
        {"deflate with a property", [](auto& b) { b[56 + 2] = 1; }, false},
        {"reserved block byte", [](auto& b) { b[27] = 1; }, false},
        {"reserved block word", [](auto& b) { PutLe(b, 28, 1, 4); }, false},
        {"stored sizes differ", [](auto& b) { PutLe(b, 48, 2, 8); }, false},
        {"block inside the directory", [](auto& b) { PutLe(b, 32, 100, 8); }, false},
        {"block past the end", [](auto& b) { PutLe(b, 56 + 8, 143, 8); }, false},
        {"block offset plus size overflows", [](auto& b) { PutLe(b, 56 + 8, ~0ull, 8); }, false},
        {"stored size past the end", [](auto& b) { PutLe(b, 56 + 16, 3, 8); }, false},
        {"entry names a missing block", [](auto& b) { PutLe(b, 113 + 4 + 2, 2, 4); }, false},
        {"entry beyond its block", [](auto& b) { PutLe(b, 113 + 4 + 2 + 4, 1, 8), PutLe(b, 113 + 26 - 8, 5, 8); },
         false},
        {"entry the whole block", [](auto& b) { PutLe(b, 113 + 4 + 2 + 4, 0, 8), PutLe(b, 113 + 26 - 8, 5, 8); }, true},
        {"entry offset plus size overflows",
         [](auto& b) { PutLe(b, 113 + 4 + 2 + 4, 2, 8), PutLe(b, 113 + 26 - 8, ~0ull, 8); }, false},
        {"directory cut off", [](auto& b) { b.resize(130); }, false},
    };
    std::vector<PayloadBlock> blocks = {{BlockMethod::Stored, BlockFilter::None, 0, 0, 3, 3},
                                        {BlockMethod::Deflate, BlockFilter::None, 0, 0, 2, 5}};
    std::vector<std::uint8_t> base = BuildBlockArchiveDirectory(blocks, {{"a", 0, 0, 3}, {"bc", 1, 1, 4}});
    base.insert(base.end(), {'x', 'y', 'z', 'p', 'q'});
    ASSERT_EQ(base.size(), 144u);
    ExpectParsedAsTold(base, cases);
}

// A two-entry archive: header 16, entry "a" at 16 (4 + 1 + 16 = 21 bytes),
// entry "bc" at 37 (22 bytes), data "xyz" at 59 and "pq" at 62; 64 bytes.
TEST(PayloadArchiveTest, RejectsEverythingBeyondTheBounds) {
    const ByteChange cases[] = {
        {"unchanged", [](auto&) {}, true},
        {"extra bytes after the data", [](auto& b) { b.push_back(0); }, true},
        {"zero entries", [](auto& b) { PutLe(b, 12, 0, 4); }, true},
        {"zero entries, header only", [](auto& b) { b.resize(16), PutLe(b, 12, 0, 4); }, true},
        {"short header", [](auto& b) { b.resize(15); }, false},
        {"empty", [](auto& b) { b.clear(); }, false},
        {"bad magic", [](auto& b) { b[7] = 'Q'; }, false},
        {"version 3", [](auto& b) { PutLe(b, 8, 3, 4); }, false},
        {"version 0", [](auto& b) { PutLe(b, 8, 0, 4); }, false},
        {"count beyond the entries", [](auto& b) { PutLe(b, 12, 3, 4); }, false},
        {"count huge", [](auto& b) { PutLe(b, 12, 0xFFFFFFFF, 4); }, false},
        {"name length field past the end", [](auto& b) { b.resize(18); }, false},
        {"name past the end", [](auto& b) { PutLe(b, 16, 1000, 4); }, false},
        {"name length huge", [](auto& b) { PutLe(b, 16, 0xFFFFFFFF, 4); }, false},
        // The first entry is made empty so that only the second one's fields are cut off.
        {"offset field past the end", [](auto& b) { b.resize(44), PutLe(b, 21, 0, 8), PutLe(b, 29, 0, 8); }, false},
        {"size field past the end", [](auto& b) { b.resize(52), PutLe(b, 21, 0, 8), PutLe(b, 29, 0, 8); }, false},
        {"directory complete, data cut off", [](auto& b) { b.resize(60); }, false},
        {"data offset past the end", [](auto& b) { PutLe(b, 21, 65, 8); }, false},
        {"data range past the end", [](auto& b) { PutLe(b, 29, 6, 8); }, false},
        {"data range ending at the end", [](auto& b) { PutLe(b, 21, 60, 8), PutLe(b, 29, 4, 8); }, true},
        {"offset plus size overflows", [](auto& b) { PutLe(b, 21, ~0ull, 8), PutLe(b, 29, 2, 8); }, false},
        {"size overflows", [](auto& b) { PutLe(b, 29, ~0ull, 8); }, false},
    };
    const std::vector<std::uint8_t> base = WriteArchive({{"a", "xyz"}, {"bc", "pq"}});
    ASSERT_EQ(base.size(), 64u);
    ExpectParsedAsTold(base, cases);
}

TEST(PayloadArchiveTest, SafeEntryNames) {
    const std::pair<const char*, bool> cases[] = {
        {"setup.ini", true},   {"files/a/b.txt", true}, {"files\\a.txt", true},   {"ファイル.txt", true},
        {"", false},           {"/etc/passwd", false},  {"\\\\server\\x", false}, {"C:/x", false},
        {"files/../x", false}, {"..", false},           {"a/./b", false},         {"a//b", false},
        {"a/", false},         {"a:stream", false},     {"files/..\\x", false},
    };
    for (const auto& [name, safe] : cases) EXPECT_EQ(IsSafeEntryName(name), safe) << name;
    EXPECT_FALSE(IsSafeEntryName(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace zel
