#include "payload/payload_digest.h"

#include <gtest/gtest.h>
#include <xxhash.h>

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

// Every length around the 4-, 8- and 32-byte steps of the algorithm, a few large
// ones, and seeds that make the lane arithmetic wrap.
TEST(Xxh64Test, MatchesTheReferenceLibrary) {
    const std::vector<std::uint8_t> data = RandomBytes((1 << 20) + 77, 1);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 130; ++n) lengths.push_back(n);
    for (const std::size_t n : {255u, 256u, 4096u, 65537u, (1u << 20) + 77u}) lengths.push_back(n);
    for (const std::uint64_t seed : {0ull, 1ull, 0x9E3779B185EBCA87ull, ~0ull}) {
        for (const std::size_t n : lengths) {
            // An odd start offset as well, since the data is read unaligned.
            const std::span<const std::uint8_t> bytes(data.data() + (n % 3), n);
            ASSERT_EQ(Xxh64(bytes, seed), XXH64(bytes.data(), bytes.size(), seed))
                << "length " << n << " seed " << seed;
        }
    }
}

TEST(Xxh64Test, PiecesGiveTheSameDigestAsOneBuffer) {
    const std::vector<std::uint8_t> data = RandomBytes(10000, 2);
    for (const std::size_t piece : {1u, 3u, 31u, 32u, 33u, 64u, 4095u}) {
        Xxh64Stream stream(7);
        for (std::size_t at = 0; at < data.size(); at += piece) {
            stream.Update(std::span(data).subspan(at, std::min(piece, data.size() - at)));
            // The digest so far never disturbs what follows.
            if (at == piece * 5) {
                ASSERT_EQ(stream.Digest(), XXH64(data.data(), at + piece, 7)) << piece;
            }
        }
        EXPECT_EQ(stream.Digest(), XXH64(data.data(), data.size(), 7)) << "piece " << piece;
    }
    EXPECT_EQ(Xxh64Stream().Digest(), XXH64(nullptr, 0, 0));
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
