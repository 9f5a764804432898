#include "payload/payload_digest.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "payload/xxh64.h"

namespace zel {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

struct Item {
    std::string name;
    std::vector<std::uint8_t> data;
};

struct Fixture {
    std::vector<std::uint8_t> archive;
    std::vector<PayloadEntry> entries;
    PayloadDigests digests;
};

// An archive and its digests made the way InstallerBuilder makes them.
Fixture MakeFixture() {
    const std::vector<Item> items = {
        {"setup.ini", RandomBytes(300, 3)},
        {"License.txt", RandomBytes(40, 4)},
        {"files/empty.dat", {}},
        {"files/データ/big.bin", RandomBytes(70000, 5)},
    };
    Fixture f;
    std::vector<ArchiveItem> directory;
    for (const Item& item : items) directory.push_back({item.name, item.data.size()});
    f.archive = BuildArchiveDirectory(directory);
    f.digests.directory = Xxh64(f.archive);
    for (const Item& item : items) {
        f.archive.insert(f.archive.end(), item.data.begin(), item.data.end());
        f.digests.entries.push_back(Xxh64(item.data));
    }
    EXPECT_TRUE(ParsePayloadArchive(f.archive, f.entries));
    return f;
}

TEST(PayloadDigestTest, ResourceRoundTripsAndRefusesAnythingMalformed) {
    const Fixture f = MakeFixture();
    const std::vector<std::uint8_t> resource = SerializePayloadDigests(f.digests);
    ASSERT_EQ(resource.size(), 24 + 8 * f.entries.size());
    PayloadDigests read;
    ASSERT_TRUE(ParsePayloadDigests(resource, f.entries.size(), read));
    EXPECT_EQ(read.directory, f.digests.directory);
    EXPECT_EQ(read.entries, f.digests.entries);

    struct Case {
        const char* what;
        std::size_t at;  // byte to change, or the new size when resize is set
        bool resize;
        std::size_t entryCount;
    };
    const Case cases[] = {
        {"magic", 3, false, 4},
        {"version", 8, false, 4},
        {"count field", 12, false, 4},
        {"fewer entries than the archive has", 0, false, 5},
        {"more entries than the archive has", 0, false, 3},
        {"truncated", resource.size() - 1, true, 4},
        {"trailing byte", resource.size() + 1, true, 4},
        {"empty", 0, true, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> changed = resource;
        if (c.resize) {
            changed.resize(c.at);
        } else if (c.at != 0) {
            changed[c.at] ^= 0x01;
        }
        EXPECT_FALSE(ParsePayloadDigests(changed, c.entryCount, read)) << c.what;
    }
}

TEST(PayloadDigestTest, AFlippedByteFailsOnlyWhereItLies) {
    const Fixture f = MakeFixture();
    EXPECT_TRUE(PayloadDirectoryIntact(f.archive, f.entries, f.digests));
    for (std::size_t i = 0; i < f.entries.size(); ++i)
        EXPECT_TRUE(PayloadEntryIntact(f.archive, f.entries, &f.digests, i));

    // The last byte of the big entry: every other entry still passes.
    std::vector<std::uint8_t> damaged = f.archive;
    damaged[f.entries[3].offset + f.entries[3].size - 1] ^= 0x80;
    EXPECT_TRUE(PayloadDirectoryIntact(damaged, f.entries, f.digests));
    for (std::size_t i = 0; i < f.entries.size(); ++i) {
        EXPECT_EQ(PayloadEntryIntact(damaged, f.entries, &f.digests, i), i != 3) << f.entries[i].name;
    }
    // By name, the way start-up checks setup.ini and the licence.
    EXPECT_FALSE(PayloadEntriesNamedIntact(damaged, f.entries, &f.digests, "FILES\\データ\\BIG.BIN"));
    EXPECT_TRUE(PayloadEntriesNamedIntact(damaged, f.entries, &f.digests, "Setup.INI"));
    EXPECT_TRUE(PayloadEntriesNamedIntact(damaged, f.entries, &f.digests, "files/not-there.bin"));

    // A name byte in the directory (which changes where a file would go).
    damaged = f.archive;
    damaged[16 + 4] ^= 0x20;
    EXPECT_FALSE(PayloadDirectoryIntact(damaged, f.entries, f.digests));

    // Without digests every entry passes; an index without a digest never does.
    EXPECT_TRUE(PayloadEntryIntact(damaged, f.entries, nullptr, 3));
    EXPECT_FALSE(PayloadEntryIntact(f.archive, f.entries, &f.digests, f.entries.size()));
}

}  // namespace
}  // namespace zel
