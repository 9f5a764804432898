#include "payload/payload_archive.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

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

TEST(PayloadArchiveTest, RoundTripsNamesAndContents) {
    const std::vector<Item> items = {
        {"setup.ini", "\xFF\xFE[\0"},
        {"files/empty.dat", ""},
        {"files/データ/説明.txt", std::string(70000, 'x')},
        {"files/a\\b.txt", "backslash separator"},
    };
    const std::vector<std::uint8_t> archive = WriteArchive(items);
    std::vector<PayloadEntry> entries;
    ASSERT_TRUE(ParsePayloadArchive(archive, entries));
    ASSERT_EQ(entries.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(entries[i].name, items[i].name);
        EXPECT_EQ(std::string(archive.begin() + static_cast<std::ptrdiff_t>(entries[i].offset),
                              archive.begin() + static_cast<std::ptrdiff_t>(entries[i].offset + entries[i].size)),
                  items[i].data);
    }
}

// A two-entry archive: header 16, entry "a" at 16 (4 + 1 + 16 = 21 bytes),
// entry "bc" at 37 (22 bytes), data "xyz" at 59 and "pq" at 62; 64 bytes.
TEST(PayloadArchiveTest, RejectsEverythingBeyondTheBounds) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> change;
        bool valid;
    };
    const Case cases[] = {
        {"unchanged", [](auto&) {}, true},
        {"extra bytes after the data", [](auto& b) { b.push_back(0); }, true},
        {"zero entries", [](auto& b) { PutLe(b, 12, 0, 4); }, true},
        {"zero entries, header only", [](auto& b) { b.resize(16), PutLe(b, 12, 0, 4); }, true},
        {"short header", [](auto& b) { b.resize(15); }, false},
        {"empty", [](auto& b) { b.clear(); }, false},
        {"bad magic", [](auto& b) { b[7] = 'Q'; }, false},
        {"version 2", [](auto& b) { PutLe(b, 8, 2, 4); }, false},
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
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = base;
        c.change(bytes);
        std::vector<PayloadEntry> entries = {PayloadEntry{"stale", 0, 0}};
        EXPECT_EQ(ParsePayloadArchive(bytes, entries), c.valid) << c.name;
        if (!c.valid) {
            EXPECT_TRUE(entries.empty()) << c.name;
        }
    }
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
