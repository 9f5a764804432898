#include "payload/payload.h"
// payload.h brings windows.h, which psapi.h needs first.
#include <gtest/gtest.h>
#include <psapi.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/block_archive.h"
#include "common/scratch_folder.h"
#include "util/module_path.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

struct Item {
    std::string name;
    std::string data;
};

// An archive as the builder lays it out, stored (version 1) or with a
// deflate block per entry, lent to payload.
std::vector<std::uint8_t> MakeArchive(const std::vector<Item>& items, MappedPayload& payload, bool deflate = false) {
    std::vector<std::uint8_t> archive;
    if (deflate) {
        std::vector<test::BlockItem> blocks;
        for (const Item& item : items) blocks.push_back({item.name, {item.data.begin(), item.data.end()}});
        archive = test::BuildBlockArchive(blocks, test::Blocks::DeflateEach).bytes;
    } else {
        std::vector<ArchiveItem> directory;
        for (const Item& item : items) directory.push_back({item.name, item.data.size()});
        archive = BuildArchiveDirectory(directory);
        for (const Item& item : items) archive.insert(archive.end(), item.data.begin(), item.data.end());
    }
    EXPECT_TRUE(ParsePayloadArchive(archive, payload.archive));
    return archive;
}

std::vector<std::size_t> All(const MappedPayload& payload) {
    std::vector<std::size_t> all(payload.entries().size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    return all;
}

using test::ReadFile;

class ExtractPayloadTest : public ::testing::Test {
protected:
    test::ScratchFolder scratch_{L"payload"};
    const fs::path root_ = scratch_.path();
    // Two levels that do not exist yet: extraction creates missing parents.
    const fs::path folder_ = root_ / L"parent" / L"ZelSetup_2026518_64819";

    bool Extract(const std::vector<Item>& items, bool deflate = false) {
        MappedPayload payload;
        const std::vector<std::uint8_t> archive = MakeArchive(items, payload, deflate);
        payload.data = archive;
        return ExtractPayload(folder_.wstring(), payload, All(payload));
    }
};

TEST_F(ExtractPayloadTest, WritesEveryEntryBelowTheFolder) {
    for (const bool deflate : {false, true}) {
        SCOPED_TRACE(deflate);
        fs::remove_all(folder_);
        ASSERT_TRUE(Extract(
            {
                {"setup.ini", "[Setup]\r\nAppName=Zel\r\n"},
                {"files/a/b/c.txt", "nested"},
                {"files\\win\\sep.txt", "backslashes"},
                {"files/\xE6\x97\xA5\xE6\x9C\xAC/\xE8\xAA\xAC\xE6\x98\x8E.txt", "japanese"},
                {"files/empty.bin", ""},
                {"files/binary.dat", std::string("\0\r\n\x1A\xFF", 5)},
                {"files/long.txt", std::string(3 << 20, 'L')},
            },
            deflate));
        EXPECT_EQ(ReadFile(folder_ / L"setup.ini"), "[Setup]\r\nAppName=Zel\r\n");
        EXPECT_TRUE(fs::is_directory(folder_ / L"files" / L"a"));
        EXPECT_TRUE(fs::is_directory(folder_ / L"files" / L"a" / L"b"));
        EXPECT_EQ(ReadFile(folder_ / L"files" / L"a" / L"b" / L"c.txt"), "nested");
        EXPECT_EQ(ReadFile(folder_ / L"files" / L"win" / L"sep.txt"), "backslashes");
        EXPECT_EQ(ReadFile(folder_ / L"files" / L"日本" / L"説明.txt"), "japanese");
        ASSERT_TRUE(fs::is_regular_file(folder_ / L"files" / L"empty.bin"));
        EXPECT_EQ(fs::file_size(folder_ / L"files" / L"empty.bin"), 0u);
        EXPECT_EQ(ReadFile(folder_ / L"files" / L"binary.dat"), std::string("\0\r\n\x1A\xFF", 5));
        EXPECT_EQ(ReadFile(folder_ / L"files" / L"long.txt"), std::string(3 << 20, 'L'));
    }
}

TEST_F(ExtractPayloadTest, LaterDuplicateWinsAndExistingFilesAreRewritten) {
    // A second start within the same second finds the folder and its files.
    fs::create_directories(folder_);
    std::ofstream(folder_ / L"setup.ini", std::ios::binary) << "an older and much longer content";
    ASSERT_TRUE(Extract({{"setup.ini", "first"}, {"other.txt", "x"}, {"setup.ini", "second"}}));
    EXPECT_EQ(ReadFile(folder_ / L"setup.ini"), "second");
    EXPECT_EQ(ReadFile(folder_ / L"other.txt"), "x");
}

TEST_F(ExtractPayloadTest, EmptyArchiveCreatesOnlyTheFolder) {
    ASSERT_TRUE(Extract({}));
    EXPECT_TRUE(fs::is_directory(folder_));
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(ExtractPayloadTest, RefusesNamesThatLeaveTheFolderBeforeWritingAnything) {
    const char* const names[] = {
        "../x", "a/../../x",          "..\\x", "files/..", "C:/x", "C:x", "/x", "\\x", "\\\\server\\share\\x", "a/./b",
        "a//b", "files/a.txt:stream", "",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Extract({{"setup.ini", "good"}, {name, "bad"}}));
        EXPECT_FALSE(fs::exists(folder_ / L"setup.ini"));
        EXPECT_FALSE(fs::exists(root_ / L"parent" / L"x"));
        EXPECT_FALSE(fs::exists(root_ / L"x"));
    }
}

TEST_F(ExtractPayloadTest, FailsWhenATargetCannotBeWritten) {
    // A folder stands where the file should go.
    fs::create_directories(folder_ / L"files" / L"app.exe");
    EXPECT_FALSE(Extract({{"files/app.exe", "MZ"}}));

    // A file stands where a folder is needed.
    EXPECT_FALSE(Extract({{"files/a", "file"}, {"files/a/b.txt", "below a file"}}));
    EXPECT_EQ(ReadFile(folder_ / L"files" / L"a"), "file");
}

// A device that takes no bytes: Wine shows the host's /dev as Z:\dev, and
// every write to /dev/full fails with "disk full". A small entry waits in the
// stream's buffer until the file is closed, so only the close's write fails:
// a full disk discovered at the last moment must still fail the extraction.
TEST(ExtractPayloadCloseTest, FailsWhenOnlyTheLastWriteAtCloseFails) {
    // Wine gives no attributes for a device, but lists it in its folder.
    const auto listed = [](const wchar_t* path) {
        WIN32_FIND_DATAW found{};
        UniqueFindHandle search(::FindFirstFileW(path, &found));
        return static_cast<bool>(search);
    };
    if (!listed(L"Z:\\dev\\full")) GTEST_SKIP() << "no Z:\\dev\\full here (the host's /dev/full under Wine)";
    MappedPayload payload;
    const std::vector<std::uint8_t> archive = MakeArchive({{"full", "a few bytes"}}, payload);
    payload.data = archive;

    EXPECT_FALSE(ExtractPayload(L"Z:\\dev", payload, All(payload)));
    EXPECT_TRUE(listed(L"Z:\\dev\\full")) << "the device is still there";
}

TEST_F(ExtractPayloadTest, FailsWhenTheFolderCannotBeCreated) {
    const fs::path file = root_ / L"plain.txt";
    std::ofstream(file, std::ios::binary) << "not a folder";
    MappedPayload payload;
    const std::vector<std::uint8_t> archive = MakeArchive({{"setup.ini", "x"}}, payload);
    payload.data = archive;

    EXPECT_FALSE(ExtractPayload((file / L"ZelSetup_1").wstring(), payload, All(payload)));
    EXPECT_FALSE(ExtractPayload(file.wstring(), payload, All(payload)));
    EXPECT_EQ(ReadFile(file), "not a folder");
}

// A compressed setup.ini that does not decode: extraction fails, as for a
// file it cannot write.
TEST_F(ExtractPayloadTest, FailsWhenABlockDoesNotDecode) {
    MappedPayload payload;
    std::vector<std::uint8_t> archive = MakeArchive({{"setup.ini", std::string(4000, 'i')}}, payload, true);
    ASSERT_EQ(payload.archive.blocks[0].method, BlockMethod::Deflate);
    archive[payload.archive.blocks[0].offset] ^= 0xFF;
    payload.data = archive;
    EXPECT_FALSE(ExtractPayload(folder_.wstring(), payload, All(payload)));
}

fs::path TestProgramFolder() { return fs::path(OwnModulePath()).parent_path(); }

TEST(ReadPayloadTest, ModuleWithoutPayloadGivesFalseAndNoDigests) {
    MappedPayload payload;
    payload.archive.entries.resize(2);
    EXPECT_FALSE(ReadPayload(::GetModuleHandleW(nullptr), payload));
    EXPECT_TRUE(payload.entries().empty());
    EXPECT_TRUE(payload.data.empty());

    // No digest resource: nothing to check, and that is no failure.
    payload.digests = PayloadDigests{};
    EXPECT_TRUE(ReadPayloadDigests(::GetModuleHandleW(nullptr), payload));
    EXPECT_FALSE(payload.digests.has_value());
}

TEST(ReadPayloadTest, ReadsTheMappedArchiveItsDigestsAndExtractsIt) {
    UniqueModule module(::LoadLibraryW((TestProgramFolder() / L"payload_fixture.dll").c_str()));
    ASSERT_TRUE(module) << "payload_fixture.dll must lie next to the test program";

    MappedPayload payload;
    ASSERT_TRUE(ReadPayload(module.get(), payload));
    const std::span<const std::uint8_t> data = payload.data;
    const std::vector<PayloadEntry>& entries = payload.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "setup.ini");
    EXPECT_EQ(payload.archive.blocks[0].offset, 76u);
    EXPECT_EQ(entries[0].size, 8u);
    EXPECT_EQ(entries[1].name, "files/a.txt");
    EXPECT_EQ(payload.archive.blocks[1].offset, 84u);
    EXPECT_EQ(entries[1].size, 5u);
    ASSERT_GE(data.size(), 89u);

    // A view into the loaded image, not a copy in the process's own memory.
    MODULEINFO image{};
    ASSERT_TRUE(::GetModuleInformation(::GetCurrentProcess(), module.get(), &image, sizeof(image)));
    const auto* base = static_cast<const std::uint8_t*>(image.lpBaseOfDll);
    EXPECT_GE(data.data(), base);
    EXPECT_LE(data.data() + data.size(), base + image.SizeOfImage);

    ASSERT_TRUE(ReadPayloadDigests(module.get(), payload));
    ASSERT_TRUE(payload.digests.has_value());
    EXPECT_TRUE(payload.BlockIntact(0));
    EXPECT_TRUE(payload.BlockIntact(1));
    // The same digests do not fit an archive that lists another number of blocks.
    MappedPayload fewer = payload;
    fewer.archive.blocks.pop_back();
    EXPECT_FALSE(ReadPayloadDigests(module.get(), fewer));

    const test::ScratchFolder scratch(L"payload_read");
    const fs::path folder = scratch / L"extracted";
    ASSERT_TRUE(ExtractPayload(folder.wstring(), payload, All(payload)));
    EXPECT_EQ(ReadFile(folder / L"setup.ini"), "[Setup]\n");
    EXPECT_EQ(ReadFile(folder / L"files" / L"a.txt"), "hello");
}

}  // namespace
}  // namespace zel
