// The product files are written on worker threads and handed back in walk
// order (OrderedWrites), seen through the payload copy that drives them.
#include "install/files/ordered_writes.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "install/files/copy_failure.h"
#include "install/files/payload_copy.h"
#include "util/unique_handle.h"
#include "windows/install/files/payload_copy_fixture.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::CopyLines;
using test::LogOf;
using test::ReadFile;
using test::WriteFile;

class OrderedWritesTest : public test::PayloadCopyFixture {};

// Files are written side by side but reported one by one: every file holds its
// own bytes, and the log and the progress follow the walk order.
TEST_F(OrderedWritesTest, FilesWrittenSideBySideHoldTheirOwnBytesAndAreReportedInWalkOrder) {
    std::vector<std::wstring> expected;
    for (int folder = 0; folder < 3; ++folder) {
        for (int i = 0; i < 100; ++i) {
            const std::wstring rel = L"d" + std::to_wstring(folder) + L"\\f" + std::to_wstring(100 + i) + L".txt";
            // Sizes differ too, so that a file written from another entry shows.
            WriteFile(Files() / rel, std::string(static_cast<size_t>(folder * 1000 + i), 'a') + fs::path(rel).string());
            expected.push_back(rel);
        }
    }
    payload_.Load(temp_.path(), plan_);
    std::vector<std::wstring> copied;

    ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, &copied));

    EXPECT_EQ(copied, expected);
    EXPECT_EQ(reporter_.LogText(), LogOf(CopyLines(expected)));
    ASSERT_EQ(reporter_.positions.size(), expected.size());
    for (std::uint32_t i = 0; i < reporter_.positions.size(); ++i) EXPECT_EQ(reporter_.positions[i], i + 1);
    for (const auto& rel : expected) {
        EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / rel), ReadFile(Files() / rel)) << fs::path(rel).string();
    }
}

// A failure in the middle of many files: the files before it are logged in
// order, then the failure; nothing after it is reported, and the files far
// beyond it are never written.
TEST_F(OrderedWritesTest, FailureAmongManyFilesStopsTheCopySoonAndReportsOnlyWhatCameBefore) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 600; ++i) {
        names.push_back(L"f" + std::to_wstring(1000 + i) + L".txt");
        WriteFile(Files() / names.back(), "new");
    }
    payload_.Load(temp_.path(), plan_);
    const fs::path blocked = fs::path(plan_.installDir) / names[20];
    WriteFile(blocked, "old");
    UniqueKernelHandle lock(::CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    std::vector<std::wstring> copied;

    EXPECT_THROW(CopyPayloadFiles(plan_, reporter_, &copied), fs::filesystem_error);

    lock.reset();
    const std::vector<std::wstring> before(names.begin(), names.begin() + 20);
    EXPECT_EQ(copied, before);
    std::vector<std::wstring> lines = CopyLines(before);
    lines.push_back(CopyFailureLine(names[20], blocked, ERROR_SHARING_VIOLATION));
    EXPECT_EQ(reporter_.LogText(), LogOf(lines));
    EXPECT_EQ(reporter_.positions.size(), 20u);
    EXPECT_EQ(ReadFile(blocked), "old");
    for (std::size_t i = 400; i < names.size(); ++i) {
        EXPECT_FALSE(fs::exists(fs::path(plan_.installDir) / names[i])) << i;
    }
}

// A folder that cannot be made fails the copy when its first file's turn
// comes, after the files before it, as when each folder is made right before
// its file.
TEST_F(OrderedWritesTest, FolderThatCannotBeMadeFailsAtItsFilesTurn) {
    WriteFile(Files() / L"a.txt", "a");
    WriteFile(Files() / L"b\\c.txt", "c");
    WriteFile(Files() / L"d.txt", "d");
    payload_.Load(temp_.path(), plan_);
    WriteFile(fs::path(plan_.installDir) / L"b", "a file where the folder should be");
    std::vector<std::wstring> copied;

    EXPECT_THROW(CopyPayloadFiles(plan_, reporter_, &copied), fs::filesystem_error);

    EXPECT_EQ(copied, std::vector<std::wstring>{L"a.txt"});
    EXPECT_EQ(reporter_.LogText(), LogOf({L"コピー: a.txt"}));
    EXPECT_FALSE(fs::exists(fs::path(plan_.installDir) / L"d.txt"));
}

// Files that share one solid block are written in one pass through it, in the
// block's order, and still reported in walk order with their own bytes; among
// them a file of no bytes and one larger than a decoded chunk.
TEST_F(OrderedWritesTest, SolidBlockIsWrittenInOnePassAndReportedInWalkOrder) {
    const std::vector<std::pair<std::wstring, std::string>> files = {
        {L"B.txt", "upper"}, {L"a.txt", "lower"},      {L"c\\D.txt", std::string(3 << 20, 'd')},
        {L"c\\e.txt", ""},   {L"c\\f\\g.txt", "deep"}, {L"h.bin", std::string(1000, 'h')},
    };
    for (const auto& [rel, data] : files) WriteFile(Files() / rel, data);
    payload_.Load(temp_.path(), plan_, true, test::TestPayload::Layout::Solid);
    ASSERT_EQ(plan_.payload.archive.blocks.size(), 1u);
    std::vector<std::wstring> copied;

    ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, &copied));

    const std::vector<std::wstring> walk = {L"a.txt", L"B.txt", L"c\\D.txt", L"c\\e.txt", L"c\\f\\g.txt", L"h.bin"};
    EXPECT_EQ(copied, walk);
    EXPECT_EQ(reporter_.LogText(), LogOf(CopyLines(walk)));
    for (const auto& [rel, data] : files) {
        EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / rel), data) << fs::path(rel).string();
    }
}

// A solid block that breaks in its middle (its digest made again, or none):
// the copy stops at the first file in walk order that the pass did not
// complete, which is not left behind half written.
TEST_F(OrderedWritesTest, SolidBlockThatBreaksStopsAtTheFirstFileItDidNotComplete) {
    for (int i = 0; i < 8; ++i)
        WriteFile(Files() / (L"f" + std::to_wstring(i) + L".txt"), std::string(100000, 'a' + i));
    payload_.Load(temp_.path(), plan_, false, test::TestPayload::Layout::Solid);
    payload_.Damage(plan_, "files/f0.txt");  // the middle of the one block
    std::vector<std::wstring> copied;

    EXPECT_FALSE(CopyPayloadFiles(plan_, reporter_, &copied));

    ASSERT_FALSE(reporter_.lines.empty());
    EXPECT_TRUE(reporter_.lines.back().starts_with(L"[エラー] 埋め込みペイロードのファイルが破損しています: f"));
    const std::wstring failed = reporter_.lines.back().substr(reporter_.lines.back().find(L": ") + 2);
    EXPECT_FALSE(fs::exists(fs::path(plan_.installDir) / failed));
    for (const std::wstring& rel : copied) {
        EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / rel).size(), 100000u) << fs::path(rel).string();
    }
}

}  // namespace
}  // namespace zel
