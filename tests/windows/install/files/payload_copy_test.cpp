#include "install/files/payload_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "install/files/copy_failure.h"
#include "payload/payload_archive.h"
#include "windows/install/install_test_support.h"
#include "windows/recording_reporter.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::LogOf;
using test::ReadFile;
using test::Sorted;
using test::WriteFile;

// The log lines of files copied in this order, after the lines before them.
std::vector<std::wstring> CopyLines(const std::vector<std::wstring>& files, std::vector<std::wstring> lines = {}) {
    for (const auto& rel : files) lines.push_back(L"コピー: " + rel);
    return lines;
}

class PayloadCopyTest : public ::testing::Test {
protected:
    PayloadCopyTest() : temp_(L"copy_temp"), install_(L"copy_dest") {
        context_.tempDir = temp_.path().wstring();
        context_.installDir = (install_.path() / L"App").wstring();
        context_.config.LicenseFile = L"files\\License.txt";
    }

    fs::path Files() const { return temp_.path() / L"files"; }

    // App.exe, License.txt, readme.txt, Doc\Manual.pdf, Doc\a\b.txt, bin\Tool.exe.
    void WriteSampleTree() {
        for (const wchar_t* rel :
             {L"App.exe", L"License.txt", L"readme.txt", L"Doc\\Manual.pdf", L"Doc\\a\\b.txt", L"bin\\Tool.exe"}) {
            WriteFile(Files() / rel, "content of " + fs::path(rel).string());
        }
        payload_.Load(temp_.path(), context_);
    }

    test::TestPayload payload_;
    test::RecordingReporter reporter_;
    test::ScratchFolder temp_;
    test::ScratchFolder install_;
    SetupContext context_;
};

TEST_F(PayloadCopyTest, SelectsByPatternsAndNeverCopiesTheLicence) {
    struct Case {
        std::vector<std::wstring> patterns;
        std::wstring licenseFile;
        std::vector<std::wstring> expected;
    };
    const std::vector<std::wstring> allButLicence = {L"App.exe", L"Doc\\Manual.pdf", L"Doc\\a\\b.txt", L"bin\\Tool.exe",
                                                     L"readme.txt"};
    const Case cases[] = {
        {{}, L"files\\License.txt", allButLicence},
        {{}, L"License.txt", allButLicence},
        {{}, L"files/license.TXT", allButLicence},
        {{L"License.txt", L"*.exe"}, L"files\\License.txt", {L"App.exe", L"bin\\Tool.exe"}},
        {{L"License.txt"}, L"License.txt", {}},
        {{L"*"}, L"License.txt", allButLicence},
        {{L"Doc\\*"}, L"files\\License.txt", {L"Doc\\Manual.pdf", L"Doc\\a\\b.txt"}},
        {{L"Doc/*", L"README.TXT"}, L"files\\License.txt", {L"Doc\\Manual.pdf", L"Doc\\a\\b.txt", L"readme.txt"}},
        {{L"Doc/*"}, L"files\\Doc\\Manual.pdf", {L"Doc\\a\\b.txt"}},
        {{L"Doc\\", L" readme.txt"}, L"License.txt", {}},
    };
    WriteSampleTree();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.patterns) + " licence " + fs::path(c.licenseFile).string());
        fs::remove_all(install_.path() / L"App");
        reporter_.lines.clear();
        context_.config.Files = c.patterns;
        context_.config.LicenseFile = c.licenseFile;
        std::vector<std::wstring> copied = {L"stale entry"};

        const bool ok = CopyPayloadFiles(context_, reporter_, &copied);

        EXPECT_EQ(ok, !c.expected.empty());
        EXPECT_EQ(Sorted(copied), c.expected);
        for (const auto& rel : c.expected) {
            EXPECT_EQ(ReadFile(fs::path(context_.installDir) / rel), "content of " + fs::path(rel).string());
        }
        EXPECT_FALSE(fs::exists(fs::path(context_.installDir) / L"License.txt"));
        if (c.expected.empty()) {
            EXPECT_EQ(reporter_.LogText(), L"[エラー] [Files] の指定に一致するファイルがありません。\r\n");
        }
    }
}

// The order of a walk of the files folder on Windows: names without regard to
// ASCII case, a folder's content right after the folder.
TEST_F(PayloadCopyTest, LogsEachFileInFolderWalkOrderAndReportsTheProgress) {
    WriteSampleTree();
    reporter_.lines = {L"earlier line"};
    std::vector<std::wstring> copied;

    ASSERT_TRUE(CopyPayloadFiles(context_, reporter_, &copied));

    EXPECT_EQ(copied, (std::vector<std::wstring>{L"App.exe", L"bin\\Tool.exe", L"Doc\\a\\b.txt", L"Doc\\Manual.pdf",
                                                 L"readme.txt"}));
    EXPECT_EQ(reporter_.LogText(), LogOf(CopyLines(copied, {L"earlier line"})));

    EXPECT_EQ(reporter_.range, 5u);
    EXPECT_EQ(reporter_.positions, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
}

TEST_F(PayloadCopyTest, OverwritesAnEarlierCopyAndWorksWithoutAList) {
    WriteSampleTree();
    ASSERT_TRUE(CopyPayloadFiles(context_, reporter_, nullptr));
    WriteFile(Files() / L"App.exe", "new build");
    payload_.Load(temp_.path(), context_);
    ASSERT_TRUE(CopyPayloadFiles(context_, reporter_, nullptr));
    EXPECT_EQ(ReadFile(fs::path(context_.installDir) / L"App.exe"), "new build");
}

TEST_F(PayloadCopyTest, PayloadWithoutFilesIsLoggedAndLeavesTheListAlone) {
    WriteFile(temp_.path() / L"setup.ini", "[Setup]");
    payload_.Load(temp_.path(), context_);
    std::vector<std::wstring> copied = {L"kept"};
    EXPECT_FALSE(CopyPayloadFiles(context_, reporter_, &copied));
    EXPECT_EQ(reporter_.LogText(), L"[エラー] payload の files フォルダが見つかりません: files\\\r\n");
    EXPECT_EQ(copied, std::vector<std::wstring>{L"kept"});
    EXPECT_FALSE(fs::exists(context_.installDir));
}

TEST_F(PayloadCopyTest, OnlyTheLicenceBelowFilesSelectsNothing) {
    WriteFile(Files() / L"License.txt", "licence");
    payload_.Load(temp_.path(), context_);
    std::vector<std::wstring> copied = {L"stale"};
    EXPECT_FALSE(CopyPayloadFiles(context_, reporter_, &copied));
    EXPECT_EQ(reporter_.LogText(), L"[エラー] [Files] の指定に一致するファイルがありません。\r\n");
    EXPECT_TRUE(copied.empty());
}

// A damaged setup.exe: the files before the damaged one are installed, the
// damaged one is not written, and the log names it. Without digests the same
// bytes install unchecked, as from a setup.exe built before digests existed.
TEST_F(PayloadCopyTest, DamagedFileStopsTheCopyBeforeItIsWritten) {
    WriteSampleTree();
    payload_.Damage(context_, "files/Doc/a/b.txt");
    std::vector<std::wstring> copied;

    EXPECT_FALSE(CopyPayloadFiles(context_, reporter_, &copied));

    EXPECT_EQ(copied, (std::vector<std::wstring>{L"App.exe", L"bin\\Tool.exe"}));
    EXPECT_EQ(reporter_.LogText(), LogOf({L"コピー: App.exe", L"コピー: bin\\Tool.exe",
                                          L"[エラー] 埋め込みペイロードのファイルが破損しています: Doc\\a\\b.txt"}));
    EXPECT_EQ(reporter_.positions, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_FALSE(fs::exists(fs::path(context_.installDir) / L"Doc\\a\\b.txt"));

    context_.payloadDigests.reset();
    reporter_.lines.clear();
    ASSERT_TRUE(CopyPayloadFiles(context_, reporter_, &copied));
    EXPECT_NE(ReadFile(fs::path(context_.installDir) / L"Doc\\a\\b.txt"), "content of Doc\\a\\b.txt");
}

TEST_F(PayloadCopyTest, FailedWriteIsLoggedAndRaisesAFileSystemErrorNamingTheTarget) {
    WriteFile(Files() / L"a.txt", "a");
    WriteFile(Files() / L"z.txt", "z");
    payload_.Load(temp_.path(), context_);
    const fs::path blocked = fs::path(context_.installDir) / L"z.txt";
    WriteFile(blocked, "old");
    // Held open without sharing, as by a running program.
    UniqueHandleKernel lock(::CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    std::vector<std::wstring> copied;

    try {
        CopyPayloadFiles(context_, reporter_, &copied);
        FAIL() << "no error raised";
    } catch (const fs::filesystem_error& error) {
        EXPECT_EQ(error.path1(), blocked);
        EXPECT_EQ(error.code(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    }
    lock.reset();
    EXPECT_EQ(ReadFile(blocked), "old");
    // What came before the failing file is installed and logged; then a line
    // names the failing file and the platform's reason.
    EXPECT_EQ(copied, std::vector<std::wstring>{L"a.txt"});
    EXPECT_EQ(ReadFile(fs::path(context_.installDir) / L"a.txt"), "a");
    EXPECT_EQ(reporter_.LogText(),
              LogOf({L"コピー: a.txt", CopyFailureLine(L"z.txt", blocked, ERROR_SHARING_VIOLATION)}));
    EXPECT_TRUE(reporter_.lines.back().ends_with(L" (Win32=32)"));
}

// Files are written side by side but reported one by one: every file holds its
// own bytes, and the log and the progress follow the walk order.
TEST_F(PayloadCopyTest, FilesWrittenSideBySideHoldTheirOwnBytesAndAreReportedInWalkOrder) {
    std::vector<std::wstring> expected;
    for (int folder = 0; folder < 3; ++folder) {
        for (int i = 0; i < 100; ++i) {
            const std::wstring rel = L"d" + std::to_wstring(folder) + L"\\f" + std::to_wstring(100 + i) + L".txt";
            // Sizes differ too, so that a file written from another entry shows.
            WriteFile(Files() / rel, std::string(static_cast<size_t>(folder * 1000 + i), 'a') + fs::path(rel).string());
            expected.push_back(rel);
        }
    }
    payload_.Load(temp_.path(), context_);
    std::vector<std::wstring> copied;

    ASSERT_TRUE(CopyPayloadFiles(context_, reporter_, &copied));

    EXPECT_EQ(copied, expected);
    EXPECT_EQ(reporter_.LogText(), LogOf(CopyLines(expected)));
    ASSERT_EQ(reporter_.positions.size(), expected.size());
    for (std::uint32_t i = 0; i < reporter_.positions.size(); ++i) EXPECT_EQ(reporter_.positions[i], i + 1);
    for (const auto& rel : expected) {
        EXPECT_EQ(ReadFile(fs::path(context_.installDir) / rel), ReadFile(Files() / rel)) << fs::path(rel).string();
    }
}

// A failure in the middle of many files: the files before it are logged in
// order, then the failure; nothing after it is reported, and the files far
// beyond it are never written.
TEST_F(PayloadCopyTest, FailureAmongManyFilesStopsTheCopySoonAndReportsOnlyWhatCameBefore) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 600; ++i) {
        names.push_back(L"f" + std::to_wstring(1000 + i) + L".txt");
        WriteFile(Files() / names.back(), "new");
    }
    payload_.Load(temp_.path(), context_);
    const fs::path blocked = fs::path(context_.installDir) / names[20];
    WriteFile(blocked, "old");
    UniqueHandleKernel lock(::CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    std::vector<std::wstring> copied;

    EXPECT_THROW(CopyPayloadFiles(context_, reporter_, &copied), fs::filesystem_error);

    lock.reset();
    const std::vector<std::wstring> before(names.begin(), names.begin() + 20);
    EXPECT_EQ(copied, before);
    std::vector<std::wstring> lines = CopyLines(before);
    lines.push_back(CopyFailureLine(names[20], blocked, ERROR_SHARING_VIOLATION));
    EXPECT_EQ(reporter_.LogText(), LogOf(lines));
    EXPECT_EQ(reporter_.positions.size(), 20u);
    EXPECT_EQ(ReadFile(blocked), "old");
    for (std::size_t i = 400; i < names.size(); ++i) {
        EXPECT_FALSE(fs::exists(fs::path(context_.installDir) / names[i])) << i;
    }
}

// A folder that cannot be made fails the copy when its first file's turn
// comes, after the files before it, as when each folder is made right before
// its file.
TEST_F(PayloadCopyTest, FolderThatCannotBeMadeFailsAtItsFilesTurn) {
    WriteFile(Files() / L"a.txt", "a");
    WriteFile(Files() / L"b\\c.txt", "c");
    WriteFile(Files() / L"d.txt", "d");
    payload_.Load(temp_.path(), context_);
    WriteFile(fs::path(context_.installDir) / L"b", "a file where the folder should be");
    std::vector<std::wstring> copied;

    EXPECT_THROW(CopyPayloadFiles(context_, reporter_, &copied), fs::filesystem_error);

    EXPECT_EQ(copied, std::vector<std::wstring>{L"a.txt"});
    EXPECT_EQ(reporter_.LogText(), LogOf({L"コピー: a.txt"}));
    EXPECT_FALSE(fs::exists(fs::path(context_.installDir) / L"d.txt"));
}

// Far more files than a 16-bit progress range holds: every one is installed and
// the progress ends at the true count.
TEST_F(PayloadCopyTest, SeventyThousandFilesInstallWithTheProgressAtItsEnd) {
    constexpr std::uint32_t kCount = 70000;
    std::vector<ArchiveItem> items;
    for (std::uint32_t i = 0; i < kCount; ++i) {
        items.push_back({"files/d" + std::to_string(i / 1000) + "/f" + std::to_string(i) + ".txt", 1});
    }
    std::vector<std::uint8_t> archive = BuildArchiveDirectory(items);
    archive.resize(archive.size() + kCount, 'x');
    context_.payloadData = archive;
    ASSERT_TRUE(ParsePayloadArchive(archive, context_.payloadEntries));
    std::vector<std::wstring> copied;

    ASSERT_TRUE(CopyPayloadFiles(context_, reporter_, &copied));

    EXPECT_EQ(copied.size(), kCount);
    EXPECT_EQ(reporter_.range, kCount);
    ASSERT_EQ(reporter_.positions.size(), kCount);
    EXPECT_EQ(reporter_.positions.back(), kCount);
    std::size_t installed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(context_.installDir))
        installed += entry.is_regular_file();
    EXPECT_EQ(installed, kCount);
}

}  // namespace
}  // namespace zel
