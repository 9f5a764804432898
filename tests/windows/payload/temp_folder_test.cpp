#include "payload/temp_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "common/scratch_folder.h"
#include "common/show_text.h"
#include "util/unique_handle.h"
#include "windows/access_list_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

using test::Show;

// A root of its own for each test, standing in for the user's temp path.
class TempFolderTest : public ::testing::Test {
protected:
    test::ScratchFolder scratch_{L"temp_root"};
    const fs::path root_ = scratch_.path();

    std::vector<std::wstring> Entries() const {
        std::vector<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(root_)) names.push_back(entry.path().filename().wstring());
        return names;
    }
};

TEST(TempFolderName, EveryMomentHasItsOwnZeroPaddedText) {
    const struct {
        SYSTEMTIME time;
        const wchar_t* expected;
    } cases[] = {
        {Time(2026, 5, 18, 6, 48, 19), L"ZelSetup_20260518_064819"},
        {Time(2026, 12, 1, 10, 5, 7), L"ZelSetup_20261201_100507"},
        // Without padding these two gave the same text.
        {Time(2026, 1, 11, 1, 23, 45), L"ZelSetup_20260111_012345"},
        {Time(2026, 11, 1, 12, 3, 45), L"ZelSetup_20261101_120345"},
    };
    for (const auto& c : cases) EXPECT_EQ(TempFolderLeafName(c.time), c.expected);

    EXPECT_EQ(TempFolderCandidate(L"ZelSetup_20260518_064819", 0), L"ZelSetup_20260518_064819");
    EXPECT_EQ(TempFolderCandidate(L"ZelSetup_20260518_064819", 1), L"ZelSetup_20260518_064819_2");
    EXPECT_EQ(TempFolderCandidate(L"ZelSetup_20260518_064819", 9), L"ZelSetup_20260518_064819_10");
    EXPECT_EQ(TempFolderRandomCandidate(L"ZelSetup_20260518_064819", 0x0123456789ABCDEFull),
              L"ZelSetup_20260518_064819_0123456789ABCDEF");
    EXPECT_EQ(TempFolderRandomCandidate(L"ZelSetup_20260518_064819", 10), L"ZelSetup_20260518_064819_000000000000000A");
}

// Wine keeps no access list of its own on files (it answers with one made from
// the Unix permissions), so the list is checked as the code builds it: parsed
// by the system into a security descriptor and read entry by entry.
TEST(TempFolderSecurity, OnlyTheUserAndAdministratorsGetIn) {
    const std::wstring user = L"S-1-5-21-1-2-3-1001";
    for (const bool high : {false, true}) {
        SCOPED_TRACE(high ? "high integrity" : "no label");
        const test::ParsedDescriptor parsed = test::ParseSddl(PrivateFolderSddl(user, high));
        ASSERT_TRUE(parsed.parsed);
        EXPECT_TRUE(parsed.isProtected) << "the temp folder's own entries must not be inherited";
        ASSERT_EQ(parsed.entries.size(), 2u);
        EXPECT_EQ(parsed.entries[0].sid, user);
        EXPECT_EQ(parsed.entries[1].sid, L"S-1-5-32-544");
        for (const test::AllowedEntry& entry : parsed.entries) {
            EXPECT_EQ(entry.mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
            EXPECT_EQ(entry.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                      OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        }
        EXPECT_EQ(parsed.hasLabel, high);
        if (high) {
            EXPECT_EQ(parsed.labelPolicy, static_cast<ACCESS_MASK>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
            EXPECT_EQ(parsed.labelLevel, static_cast<DWORD>(SECURITY_MANDATORY_HIGH_RID));
        }
    }
}

// The local time in `seconds` seconds.
SYSTEMTIME LocalTimeIn(const SYSTEMTIME& now, int seconds) {
    FILETIME fileTime{};
    ::SystemTimeToFileTime(&now, &fileTime);
    ULARGE_INTEGER value{{fileTime.dwLowDateTime, fileTime.dwHighDateTime}};
    value.QuadPart += static_cast<ULONGLONG>(seconds) * 10'000'000ULL;
    fileTime = {value.LowPart, value.HighPart};
    SYSTEMTIME at{};
    ::FileTimeToSystemTime(&fileTime, &at);
    return at;
}

// A user who makes every time-based name for the coming seconds in advance
// cannot stop setup from starting: a random name follows them.
TEST_F(TempFolderTest, EveryTimeBasedNameTakenGivesARandomName) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    std::vector<std::wstring> planted;
    for (int second = 0; second < 3; ++second) {
        const std::wstring leaf = TempFolderLeafName(LocalTimeIn(now, second));
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            planted.push_back(TempFolderCandidate(leaf, attempt));
            ASSERT_TRUE(::CreateDirectoryW((root_ / planted.back()).c_str(), nullptr)) << Show(planted.back());
        }
    }
    PrivateTempFolder folder;
    ASSERT_TRUE(folder.Create(root_.wstring()));
    const std::wstring name = fs::path(folder.path()).filename().wstring();
    static const std::wregex random(LR"(ZelSetup_\d{8}_\d{6}_[0-9A-F]{16})");
    EXPECT_TRUE(std::regex_match(name, random)) << Show(name);
    EXPECT_EQ(std::find(planted.begin(), planted.end(), name), planted.end());
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

// A name that is taken in any way (by a folder planted for the coming second,
// by a file) is never used; the new folder is fresh and empty, nobody can move
// it away while it is held, and it goes with everything in it.
TEST_F(TempFolderTest, FreshFolderNeverReusedAndRemovedWithItsContents) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    // Planted for this second and the next few: a folder holding a file, then a file.
    std::vector<std::wstring> planted;
    for (int second = 0; second < 3; ++second) {
        SYSTEMTIME at = now;
        FILETIME fileTime{};
        ::SystemTimeToFileTime(&at, &fileTime);
        ULARGE_INTEGER value{{fileTime.dwLowDateTime, fileTime.dwHighDateTime}};
        value.QuadPart += static_cast<ULONGLONG>(second) * 10'000'000ULL;
        fileTime = {value.LowPart, value.HighPart};
        ::FileTimeToSystemTime(&fileTime, &at);
        const std::wstring leaf = TempFolderLeafName(at);
        fs::create_directories(root_ / leaf);
        std::ofstream(root_ / leaf / L"App.exe") << "planted";
        std::ofstream(root_ / (leaf + L"_2")) << "planted file";
        planted.push_back(leaf);
        planted.push_back(leaf + L"_2");
    }

    std::wstring created;
    {
        PrivateTempFolder folder;
        ASSERT_TRUE(folder.Create(root_.wstring()));
        created = folder.path();
        const fs::path path(created);
        EXPECT_EQ(path.parent_path(), root_);
        const std::wstring name = path.filename().wstring();
        EXPECT_EQ(name.rfind(L"ZelSetup_", 0), 0u) << Show(name);
        EXPECT_EQ(std::find(planted.begin(), planted.end(), name), planted.end()) << Show(name) << " was planted";
        EXPECT_TRUE(fs::is_empty(path));

        // Held without delete sharing: it cannot be renamed or removed meanwhile.
        EXPECT_FALSE(::MoveFileW(created.c_str(), (root_ / L"moved").c_str()));
        EXPECT_TRUE(fs::is_directory(path));

        fs::create_directories(path / L"files" / L"Data");
        std::ofstream(path / L"files" / L"Data" / L"a.dat") << "x";
        std::ofstream(path / L"setup.ini") << "x";
        ::SetFileAttributesW((path / L"setup.ini").c_str(), FILE_ATTRIBUTE_READONLY);

        // A second folder in the same second gets a name of its own.
        PrivateTempFolder second;
        ASSERT_TRUE(second.Create(root_.wstring()));
        const std::wstring secondPath = second.path();
        EXPECT_NE(secondPath, created);
        second.Remove();
        second.Remove();  // harmless twice
        EXPECT_FALSE(fs::exists(secondPath));
    }
    EXPECT_FALSE(fs::exists(created)) << "the folder outlives its owner";
    for (const std::wstring& name : planted) EXPECT_TRUE(fs::exists(root_ / name)) << Show(name) << " was touched";
}

TEST_F(TempFolderTest, RemoveLiveFolderIsTheEndOfSessionRoad) {
    PrivateTempFolder folder;
    ASSERT_TRUE(folder.Create(root_.wstring()));
    const std::wstring path = folder.path();
    std::ofstream(fs::path(path) / L"setup.ini") << "x";
    PrivateTempFolder::RemoveLiveFolder();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(folder.path().empty());
}

TEST_F(TempFolderTest, UnusableRootFails) {
    std::ofstream(root_ / L"file") << "x";
    PrivateTempFolder folder;
    EXPECT_FALSE(folder.Create((root_ / L"file").wstring()));
    EXPECT_FALSE(folder.Create((root_ / L"missing" / L"deeper").wstring()));
    EXPECT_TRUE(folder.path().empty());
}

}  // namespace
}  // namespace zel
