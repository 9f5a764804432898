#include "payload/payload_digest.h"

#include <gtest/gtest.h>

#include <string>

#include "common/block_archive.h"
#include "common/random_bytes.h"
#include "payload/xxh64.h"

namespace zel {
namespace {

using test::RandomBytes;

struct Fixture {
    std::vector<std::uint8_t> bytes;
    PayloadArchive archive;
    PayloadDigests digests;
};

const std::vector<test::BlockItem> kItems = {
    {"setup.ini", RandomBytes(300, 3)},
    {"License.txt", std::vector<std::uint8_t>(4000, 'L')},
    {"files/empty.dat", {}},
    {"files/データ/big.bin", RandomBytes(70000, 5)},
};

// A version 1 archive and its digests made the way InstallerBuilder makes them.
Fixture StoredFixture() {
    Fixture f;
    std::vector<ArchiveItem> directory;
    for (const test::BlockItem& item : kItems) directory.push_back({item.name, item.data.size()});
    f.bytes = BuildArchiveDirectory(directory);
    f.digests.directory = Xxh64(f.bytes);
    for (const test::BlockItem& item : kItems) {
        f.bytes.insert(f.bytes.end(), item.data.begin(), item.data.end());
        f.digests.blocks.push_back(Xxh64(item.data));
    }
    EXPECT_TRUE(ParsePayloadArchive(f.bytes, f.archive));
    return f;
}

// The same items in a version 2 archive with a block per entry.
Fixture DeflateFixture() {
    Fixture f;
    test::BuiltArchive built = test::BuildBlockArchive(kItems, test::Blocks::DeflateEach);
    f.bytes = std::move(built.bytes);
    f.digests = built.digests;
    EXPECT_TRUE(ParsePayloadArchive(f.bytes, f.archive));
    return f;
}

TEST(PayloadDigestTest, ResourceRoundTripsAndRefusesAnythingMalformed) {
    for (const Fixture& f : {StoredFixture(), DeflateFixture()}) {
        SCOPED_TRACE(f.archive.version);
        const std::vector<std::uint8_t> resource = SerializePayloadDigests(f.digests);
        ASSERT_EQ(resource.size(), 24 + 8 * f.archive.blocks.size());
        PayloadDigests read;
        ASSERT_TRUE(ParsePayloadDigests(resource, f.archive, read));
        EXPECT_EQ(read.directory, f.digests.directory);
        EXPECT_EQ(read.blocks, f.digests.blocks);

        struct Case {
            const char* what;
            std::size_t at;  // byte to change, or the new size when resize is set
            bool resize;
            int blocksMore;  // blocks the archive is given beyond its own
        };
        const Case cases[] = {
            {"magic", 3, false, 0},
            {"version", 8, false, 0},
            {"count field", 12, false, 0},
            {"fewer digests than the archive has blocks", 0, false, 1},
            {"more digests than the archive has blocks", 0, false, -1},
            {"truncated", resource.size() - 1, true, 0},
            {"trailing byte", resource.size() + 1, true, 0},
            {"empty", 0, true, 0},
        };
        for (const Case& c : cases) {
            std::vector<std::uint8_t> changed = resource;
            if (c.resize) {
                changed.resize(c.at);
            } else if (c.at != 0) {
                changed[c.at] ^= 0x01;
            }
            PayloadArchive archive = f.archive;
            archive.blocks.resize(archive.blocks.size() + c.blocksMore);
            EXPECT_FALSE(ParsePayloadDigests(changed, archive, read)) << c.what;
        }
        // Digests of the other version's archive.
        PayloadArchive other = f.archive;
        other.version = f.archive.version == 1 ? 2 : 1;
        EXPECT_FALSE(ParsePayloadDigests(resource, other, read));
    }
}

TEST(PayloadDigestTest, AFlippedByteFailsOnlyWhereItLies) {
    for (const Fixture& f : {StoredFixture(), DeflateFixture()}) {
        SCOPED_TRACE(f.archive.version);
        EXPECT_TRUE(PayloadDirectoryIntact(f.bytes, f.archive, f.digests));
        for (std::size_t i = 0; i < f.archive.blocks.size(); ++i)
            EXPECT_TRUE(PayloadBlockIntact(f.bytes, f.archive, &f.digests, i));

        // The last stored byte of the big entry's block: every other block still passes.
        const PayloadBlock& big = f.archive.blocks[f.archive.entries[3].block];
        std::vector<std::uint8_t> damaged = f.bytes;
        damaged[big.offset + big.storedSize - 1] ^= 0x80;
        EXPECT_TRUE(PayloadDirectoryIntact(damaged, f.archive, f.digests));
        for (std::size_t i = 0; i < f.archive.blocks.size(); ++i) {
            EXPECT_EQ(PayloadBlockIntact(damaged, f.archive, &f.digests, i), i != f.archive.entries[3].block);
        }
        // By name, the way start-up checks setup.ini and the licence.
        EXPECT_FALSE(PayloadEntriesNamedIntact(damaged, f.archive, &f.digests, "FILES\\データ\\BIG.BIN"));
        EXPECT_TRUE(PayloadEntriesNamedIntact(damaged, f.archive, &f.digests, "Setup.INI"));
        EXPECT_TRUE(PayloadEntriesNamedIntact(damaged, f.archive, &f.digests, "files/not-there.bin"));

        // A name byte in the directory (which changes where a file would go).
        damaged = f.bytes;
        damaged[f.archive.directorySize - 30] ^= 0x20;
        EXPECT_FALSE(PayloadDirectoryIntact(damaged, f.archive, f.digests));

        // Without digests every block passes; a block without a digest never does.
        EXPECT_TRUE(PayloadBlockIntact(damaged, f.archive, nullptr, 3));
        EXPECT_FALSE(PayloadBlockIntact(f.bytes, f.archive, &f.digests, f.archive.blocks.size()));
    }
}

}  // namespace
}  // namespace zel
