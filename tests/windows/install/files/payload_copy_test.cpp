#include "install/files/payload_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/show_text.h"
#include "install/files/copy_failure.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "payload/xxh64.h"
#include "util/unicode.h"
#include "windows/install/files/payload_copy_fixture.h"
#include "windows/install/install_test_support.h"
#include "windows/recording_reporter.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::CopyLines;
using test::LogOf;
using test::ReadFile;
using test::Show;
using test::Sorted;
using test::WriteFile;

using PayloadCopyTest = test::PayloadCopyFixture;

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
        plan_.config.Files = c.patterns;
        plan_.config.LicenseFile = c.licenseFile;
        std::vector<std::wstring> copied = {L"stale entry"};

        const bool ok = CopyPayloadFiles(plan_, reporter_, &copied);

        EXPECT_EQ(ok, !c.expected.empty());
        EXPECT_EQ(Sorted(copied), c.expected);
        for (const auto& rel : c.expected) {
            EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / rel), "content of " + fs::path(rel).string());
        }
        EXPECT_FALSE(fs::exists(fs::path(plan_.installDir) / L"License.txt"));
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

    ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, &copied));

    EXPECT_EQ(copied, (std::vector<std::wstring>{L"App.exe", L"bin\\Tool.exe", L"Doc\\a\\b.txt", L"Doc\\Manual.pdf",
                                                 L"readme.txt"}));
    EXPECT_EQ(reporter_.LogText(), LogOf(CopyLines(copied, {L"earlier line"})));

    EXPECT_EQ(reporter_.range, 5u);
    EXPECT_EQ(reporter_.positions, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
}

TEST_F(PayloadCopyTest, OverwritesAnEarlierCopyAndWorksWithoutAList) {
    WriteSampleTree();
    ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, nullptr));
    WriteFile(Files() / L"App.exe", "new build");
    payload_.Load(temp_.path(), plan_);
    ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, nullptr));
    EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / L"App.exe"), "new build");
}

TEST_F(PayloadCopyTest, PayloadWithoutFilesIsLoggedAndLeavesTheListAlone) {
    WriteFile(temp_.path() / L"setup.ini", "[Setup]");
    payload_.Load(temp_.path(), plan_);
    std::vector<std::wstring> copied = {L"kept"};
    EXPECT_FALSE(CopyPayloadFiles(plan_, reporter_, &copied));
    EXPECT_EQ(reporter_.LogText(), L"[エラー] payload の files フォルダが見つかりません: files\\\r\n");
    EXPECT_EQ(copied, std::vector<std::wstring>{L"kept"});
    EXPECT_FALSE(fs::exists(plan_.installDir));
}

TEST_F(PayloadCopyTest, OnlyTheLicenceBelowFilesSelectsNothing) {
    WriteFile(Files() / L"License.txt", "licence");
    payload_.Load(temp_.path(), plan_);
    std::vector<std::wstring> copied = {L"stale"};
    EXPECT_FALSE(CopyPayloadFiles(plan_, reporter_, &copied));
    EXPECT_EQ(reporter_.LogText(), L"[エラー] [Files] の指定に一致するファイルがありません。\r\n");
    EXPECT_TRUE(copied.empty());
}

// A damaged setup.exe is found by the check a run makes before it writes
// anything, for a stored and a compressed payload alike: the first damaged
// file in walk order is named and nothing is written. Without digests the
// check passes, as for a setup.exe built before digests existed.
TEST_F(PayloadCopyTest, DamagedFileIsFoundBeforeAnythingIsWritten) {
    for (const auto layout : {test::TestPayload::Layout::Version1, test::TestPayload::Layout::Deflate}) {
        SCOPED_TRACE(static_cast<int>(layout));
        WriteSampleTree();
        WriteFile(Files() / L"Doc\\a\\b.txt", std::string(5000, 'b'));  // compresses
        payload_.Load(temp_.path(), plan_, true, layout);
        payload_.Damage(plan_, "files/Doc/a/b.txt");
        payload_.Damage(plan_, "files/readme.txt");
        reporter_.lines.clear();

        EXPECT_FALSE(CheckPayloadFiles(plan_, reporter_));

        EXPECT_EQ(reporter_.LogText(),
                  LogOf({L"[エラー] 埋め込みペイロードのファイルが破損しています: Doc\\a\\b.txt"}));
        EXPECT_FALSE(fs::exists(plan_.installDir));
        EXPECT_TRUE(reporter_.positions.empty());

        plan_.payload.digests.reset();
        reporter_.lines.clear();
        EXPECT_TRUE(CheckPayloadFiles(plan_, reporter_));
        EXPECT_TRUE(reporter_.lines.empty());
    }
}

// A compressed payload installs what the stored one installs: the same files,
// log lines, list and progress.
TEST_F(PayloadCopyTest, CompressedPayloadCopiesWhatTheStoredOneCopies) {
    WriteSampleTree();
    WriteFile(Files() / L"Doc\\Manual.pdf", std::string(3 << 20, 'm'));  // several decoded chunks
    std::vector<std::vector<std::wstring>> logs;
    std::vector<std::vector<std::wstring>> lists;
    for (const auto layout : {test::TestPayload::Layout::Version1, test::TestPayload::Layout::Deflate}) {
        fs::remove_all(plan_.installDir);
        payload_.Load(temp_.path(), plan_, true, layout);
        reporter_.lines.clear();
        reporter_.positions.clear();
        std::vector<std::wstring> copied;
        ASSERT_TRUE(CheckPayloadFiles(plan_, reporter_));
        ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, &copied));
        logs.push_back(reporter_.lines);
        lists.push_back(copied);
        EXPECT_EQ(reporter_.positions, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
        EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / L"Doc\\Manual.pdf"), std::string(3 << 20, 'm'));
        EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / L"bin\\Tool.exe"), "content of bin\\Tool.exe");
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(lists[0], lists[1]);
}

// A compressed block that does not decode although its digest holds (a
// changed setup.exe with its digests made again, or one without digests)
// stops the copy at that file, which is not left behind half written.
TEST_F(PayloadCopyTest, BlockThatDoesNotDecodeStopsTheCopyAtItsFile) {
    WriteSampleTree();
    WriteFile(Files() / L"Doc\\a\\b.txt", std::string(200000, 'b'));
    payload_.Load(temp_.path(), plan_, false, test::TestPayload::Layout::Deflate);
    payload_.Damage(plan_, "files/Doc/a/b.txt");
    std::vector<std::wstring> copied;

    ASSERT_TRUE(CheckPayloadFiles(plan_, reporter_));
    EXPECT_FALSE(CopyPayloadFiles(plan_, reporter_, &copied));

    EXPECT_EQ(copied, (std::vector<std::wstring>{L"App.exe", L"bin\\Tool.exe"}));
    EXPECT_EQ(reporter_.LogText(), LogOf({L"コピー: App.exe", L"コピー: bin\\Tool.exe",
                                          L"[エラー] 埋め込みペイロードのファイルが破損しています: Doc\\a\\b.txt"}));
    EXPECT_FALSE(fs::exists(fs::path(plan_.installDir) / L"Doc\\a\\b.txt"));
}

// A payload of the given entries with digests that hold, as a changed setup.exe
// with its digests made again would carry.
void LoadEntries(InstallPlan& plan, std::vector<std::uint8_t>& archive,
                 const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<ArchiveItem> items;
    for (const auto& [name, data] : entries) items.push_back({name, data.size()});
    archive = BuildArchiveDirectory(items);
    PayloadDigests digests;
    digests.directory = Xxh64(archive);
    for (const auto& [name, data] : entries) {
        digests.blocks.push_back(Xxh64(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size())));
        archive.insert(archive.end(), data.begin(), data.end());
    }
    plan.payload.data = archive;
    ASSERT_TRUE(ParsePayloadArchive(archive, plan.payload.archive));
    plan.payload.digests = digests;
}

// A payload whose entry names leave the install folder, as a changed setup.exe
// with its digests made again would carry: the copy refuses it before writing
// anything, naming the entry, as it refuses a damaged file.
TEST_F(PayloadCopyTest, NameThatLeavesTheInstallFolderRefusesThePayload) {
    const std::string outside = Show((install_.path() / L"victim.txt").wstring());
    const std::vector<std::string> refused = {
        "files/Doc/../../victim.txt", "files/../../zel_sec_b.da", "files/" + outside, "files/Doc/NUL",
        "files/a.txt:stream",
    };
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        std::vector<ArchiveItem> items = {{"setup.ini", 1}, {"files/App.exe", 3}, {name, 6}, {"files/Doc/a.txt", 1}};
        std::vector<std::uint8_t> archive = BuildArchiveDirectory(items);
        PayloadDigests digests;
        digests.directory = Xxh64(archive);
        for (const std::string data : {"i", "app", "victim", "a"}) {
            digests.blocks.push_back(Xxh64(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size())));
            archive.insert(archive.end(), data.begin(), data.end());
        }
        plan_.payload.data = archive;
        ASSERT_TRUE(ParsePayloadArchive(archive, plan_.payload.archive));
        plan_.payload.digests = digests;
        reporter_.lines.clear();
        std::vector<std::wstring> copied = {L"stale"};

        EXPECT_FALSE(CopyPayloadFiles(plan_, reporter_, &copied));

        EXPECT_EQ(reporter_.LogText(),
                  LogOf({L"[エラー] 埋め込みペイロードのファイルが破損しています: " + Utf8ToWide(name)}));
        EXPECT_FALSE(fs::exists(plan_.installDir)) << "nothing is written";
        EXPECT_FALSE(fs::exists(install_.path() / L"victim.txt"));
        EXPECT_FALSE(fs::exists(install_.path() / L"zel_sec_b.da"));
        EXPECT_TRUE(reporter_.positions.empty());
    }
}

// Names Windows takes for one file (letter case folded beyond A-Z) are one
// write: the last entry's data under its spelling, logged and listed once, as
// a one-at-a-time copy leaves it, never two writers on one file.
TEST_F(PayloadCopyTest, NamesDifferingOnlyInLetterCaseAreOneFile) {
    std::vector<std::uint8_t> archive;
    LoadEntries(plan_, archive,
                {{"setup.ini", "i"},
                 {"files/Ä.txt", "first"},
                 {"files/ä.txt", "second"},
                 {"files/Данные/a.txt", "data"},
                 {"files/данные/b.txt", "more"},
                 {"files/Ω", "omega"},
                 {"files/ω", "small omega"}});
    plan_.config.LicenseFile.clear();
    for (int run = 0; run < 4; ++run) {
        reporter_.lines.clear();
        reporter_.positions.clear();
        std::vector<std::wstring> copied;
        ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, &copied)) << Show(reporter_.LogText());
        const std::vector<std::wstring> expected = {L"ä.txt", L"ω", L"Данные\\a.txt", L"данные\\b.txt"};
        EXPECT_EQ(copied, expected);
        EXPECT_EQ(reporter_.LogText(), LogOf(CopyLines(expected)));
        EXPECT_EQ(reporter_.positions, (std::vector<std::uint32_t>{1, 2, 3, 4}));
        EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / L"ä.txt"), "second");
        EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / L"ω"), "small omega");
    }
}

TEST_F(PayloadCopyTest, FailedWriteIsLoggedAndRaisesAFileSystemErrorNamingTheTarget) {
    WriteFile(Files() / L"a.txt", "a");
    WriteFile(Files() / L"z.txt", "z");
    payload_.Load(temp_.path(), plan_);
    const fs::path blocked = fs::path(plan_.installDir) / L"z.txt";
    WriteFile(blocked, "old");
    // Held open without sharing, as by a running program.
    UniqueKernelHandle lock(::CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    std::vector<std::wstring> copied;

    try {
        CopyPayloadFiles(plan_, reporter_, &copied);
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
    EXPECT_EQ(ReadFile(fs::path(plan_.installDir) / L"a.txt"), "a");
    EXPECT_EQ(reporter_.LogText(),
              LogOf({L"コピー: a.txt", CopyFailureLine(L"z.txt", blocked, ERROR_SHARING_VIOLATION)}));
    EXPECT_TRUE(reporter_.lines.back().ends_with(L" (Win32=32)"));
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
    plan_.payload.data = archive;
    ASSERT_TRUE(ParsePayloadArchive(archive, plan_.payload.archive));
    std::vector<std::wstring> copied;

    ASSERT_TRUE(CopyPayloadFiles(plan_, reporter_, &copied));

    EXPECT_EQ(copied.size(), kCount);
    EXPECT_EQ(reporter_.range, kCount);
    ASSERT_EQ(reporter_.positions.size(), kCount);
    EXPECT_EQ(reporter_.positions.back(), kCount);
    std::size_t installed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(plan_.installDir)) installed += entry.is_regular_file();
    EXPECT_EQ(installed, kCount);
}

}  // namespace
}  // namespace zel
