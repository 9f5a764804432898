#include "install/destination/folder_security.h"

#include <windows.h>
// After windows.h
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/show_text.h"
#include "e2e/automation/unix_links.h"
#include "install/extra_destination/extra_destination.h"
#include "util/known_folder.h"
#include "util/path_forms.h"
#include "util/unicode.h"
#include "windows/access_list_support.h"
#include "windows/install/install_test_support.h"
#include "windows/recording_reporter.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;

using test::Show;

// Wine keeps no access list on files (it reports one made from the Unix
// permissions), so the list is checked as the code builds it, parsed by the
// system; MakeInstallFolder below reads back what Wine made of it.
TEST(FolderSecurity, InstallFolderListIsLikeProgramFiles) {
    const test::ParsedDescriptor parsed = test::ParseSddl(ProtectedInstallFolderSddl());
    ASSERT_TRUE(parsed.parsed);
    EXPECT_TRUE(parsed.isProtected) << "nothing may be inherited from the drive root";
    constexpr ACCESS_MASK kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    const struct {
        const wchar_t* sid;
        ACCESS_MASK mask;
        BYTE flags;
    } expected[] = {
        {L"S-1-5-18", FILE_ALL_ACCESS, kInherited},                    // SYSTEM
        {L"S-1-5-32-544", FILE_ALL_ACCESS, kInherited},                // Administrators
        {L"S-1-5-32-545", kReadAndExecute, kInherited},                // Users
        {L"S-1-3-0", FILE_ALL_ACCESS, kInherited | INHERIT_ONLY_ACE},  // the creator of what is inside
        {L"S-1-15-2-1", kReadAndExecute, kInherited},                  // all application packages
        {L"S-1-15-2-2", kReadAndExecute, kInherited},                  // all restricted application packages
    };
    ASSERT_EQ(parsed.entries.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(Show(expected[i].sid));
        EXPECT_EQ(parsed.entries[i].sid, expected[i].sid);
        EXPECT_EQ(parsed.entries[i].mask, expected[i].mask);
        EXPECT_EQ(parsed.entries[i].flags, expected[i].flags);
    }
}

// Whether the folder reads back with the protected list. Windows keeps the
// list as set; Wine turns it into Unix permissions and reports those, where the
// protected list shows as nothing for Everyone.
bool HasProtectedList(const fs::path& folder) {
    const std::vector<test::AllowedEntry> entries = test::FileAllowedEntries(folder);
    const auto has = [&](const wchar_t* sid) {
        return std::any_of(entries.begin(), entries.end(), [&](const test::AllowedEntry& e) { return e.sid == sid; });
    };
    if (has(L"S-1-15-2-1")) return true;
    return !entries.empty() && !has(L"S-1-1-0") && !has(L"S-1-5-32-545") && !has(L"S-1-5-11");
}

class MakeInstallFolderTest : public ::testing::Test {
protected:
    fs::path Root() const { return scratch_.path(); }
    ScratchFolder scratch_{L"install_folder"};
};

// Only the install folder gets the protected list; the folders made above it
// keep what they inherit, so that a shared parent such as D:\Apps stays usable
// after the product is gone.
TEST_F(MakeInstallFolderTest, OnlyTheInstallFolderGetsTheList) {
    const fs::path folder = Root() / L"Apps" / L"Vendor" / L"アプリ";
    fs::path refusedAt;
    bool created = false;
    EXPECT_EQ(MakeInstallFolder(folder, refusedAt, &created), InstallFolderRefusal::None);
    EXPECT_TRUE(created);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(HasProtectedList(folder));
    EXPECT_FALSE(HasProtectedList(Root() / L"Apps"));
    EXPECT_FALSE(HasProtectedList(Root() / L"Apps" / L"Vendor"));

    EXPECT_EQ(MakeInstallFolder(folder, refusedAt, &created), InstallFolderRefusal::None) << "again: ours already";
    EXPECT_FALSE(created);

    const fs::path file = Root() / L"file";
    test::WriteFile(file, "x");
    EXPECT_THROW(MakeInstallFolder(file / L"sub", refusedAt), fs::filesystem_error);
}

// What a standard user may have prepared, simulated with a folder's mode (0777:
// writable by everyone, as a folder any user makes under C:\) and Unix links for
// links and junctions. Nothing is made or written where the run refuses.
TEST_F(MakeInstallFolderTest, RefusesWhatStandardUsersControl) {
    const fs::path victim = Root() / L"victim";
    fs::create_directories(victim / L"Product");
    const fs::path open = Root() / L"Open";
    const fs::path admins = Root() / L"Admins";
    fs::create_directories(open);
    fs::create_directories(admins);
    struct LinksGoFirst {  // the scratch folder's clean-up cannot take them
        ~LinksGoFirst() {
            test::RemoveUnixLink(open / L"Linked");
            test::RemoveUnixLink(admins / L"Linked");
        }
        fs::path open;
        fs::path admins;
    } links{open, admins};
    if (!test::MakeUnixLink(open / L"Linked", victim) || !test::MakeUnixLink(admins / L"Linked", victim) ||
        !test::SetUnixMode(open, 0777)) {
        GTEST_SKIP() << "links and modes are made with Wine's help only";
    }
    const struct {
        const char* name;
        fs::path folder;
        InstallFolderRefusal refusal;
        fs::path refusedAt;
    } cases[] = {
        {"existing folder users may change", open, InstallFolderRefusal::StandardUsersControl, open},
        {"link as the install folder", open / L"Linked", InstallFolderRefusal::LinkInTheWay, open / L"Linked"},
        {"link on the way, in a folder users may change", open / L"Linked" / L"New", InstallFolderRefusal::LinkInTheWay,
         open / L"Linked"},
        {"link as the install folder, even among administrators' folders", admins / L"Linked",
         InstallFolderRefusal::LinkInTheWay, admins / L"Linked"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path refusedAt;
        EXPECT_EQ(MakeInstallFolder(c.folder, refusedAt), c.refusal);
        EXPECT_EQ(refusedAt, c.refusedAt);
        EXPECT_FALSE(fs::exists(victim / L"New"));
        EXPECT_TRUE(fs::is_empty(victim / L"Product"));
    }

    // An administrator's link in a folder only administrators change was put
    // there on purpose: the path chose it, and the new folder goes where it leads.
    fs::path refusedAt;
    EXPECT_EQ(MakeInstallFolder(admins / L"Linked" / L"New", refusedAt), InstallFolderRefusal::None);
    EXPECT_TRUE(fs::is_directory(victim / L"New"));
}

TEST(FolderSecurity, StandardUsersCanWriteReadsTheList) {
    // Wine reports an access list made from the Unix permissions: a folder the
    // test (root) created is writable by its owner only, others may read.
    ScratchFolder scratch(L"writable_folder");
    bool othersWrite = false;
    for (const test::AllowedEntry& entry : test::FileAllowedEntries(scratch.path())) {
        if ((entry.sid == L"S-1-1-0" || entry.sid == L"S-1-5-32-545" || entry.sid == L"S-1-5-11") &&
            (entry.mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | GENERIC_ALL))) {
            othersWrite = true;
        }
    }
    EXPECT_EQ(StandardUsersCanWrite(scratch.path()), othersWrite);
    EXPECT_TRUE(StandardUsersCanWrite(scratch.path() / L"missing")) << "an unreadable list counts as writable";
}

TEST(FolderSecurity, SystemLocations) {
    wchar_t windows[MAX_PATH];
    const fs::path windowsDir(std::wstring(windows, ::GetSystemWindowsDirectoryW(windows, MAX_PATH)));
    const fs::path programFiles = fs::path(KnownFolderPath(FOLDERID_ProgramFiles));
    ScratchFolder scratch(L"system_locations");
    const struct {
        fs::path folder;
        bool refused;
    } cases[] = {
        {windowsDir, true},
        {windowsDir / L"system32" / L"Data", true},
        {windowsDir / L"SysWOW64", true},
        {windowsDir.root_path(), true},
        {L"Q:\\", true},
        {programFiles, true},
        {fs::path(KnownFolderPath(FOLDERID_ProgramFilesX86)), true},
        {programFiles / L"Korvel", false},
        {scratch.path() / L"Msta", false},
        {windowsDir.root_path() / L"Korvel", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSystemLocation(c.folder), c.refused) << Show(c.folder.wstring());
}

// The settings file in %LocalAppData% is the user's own: a MstaFolder in the
// Windows folder gets a warning and no copy, and a read-only file there stays.
TEST(FolderSecurity, MirrorRefusesSystemFolders) {
    ScratchFolder install(L"mirror_refused");
    test::WriteFile(install.path() / L"Data" / L"a.dat", "product");
    wchar_t windows[MAX_PATH];
    const fs::path target =
        fs::path(std::wstring(windows, ::GetSystemWindowsDirectoryW(windows, MAX_PATH))) / L"system32" / L"ZelData";
    fs::create_directories(target / L"Data");
    test::WriteFile(target / L"Data" / L"a.dat", "system's");
    ::SetFileAttributesW((target / L"Data" / L"a.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring settings = L"MstaFolder=" + target.wstring() + L"\r\n";
    test::WriteFile(install.path() / L"Korvel_10.ini", std::string(settings.begin(), settings.end()));

    test::RecordingReporter wizard;
    std::wstring error;
    EXPECT_TRUE(MirrorToExtraFolders(&wizard, install.path().wstring(), {L"Data\\a.dat"}, {L"Data\\*"}, error));
    EXPECT_EQ(error, L"");
    fs::path canonical;
    ASSERT_TRUE(WeaklyCanonical(target, canonical));
    EXPECT_EQ(wizard.LogText(), test::LogOf({L"[警告] MstaFolder の指定先はシステムのフォルダのためコピーしません: " +
                                             canonical.wstring()}));
    EXPECT_EQ(test::ReadFile(target / L"Data" / L"a.dat"), "system's");
    ::SetFileAttributesW((target / L"Data" / L"a.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(target);
}

}  // namespace
}  // namespace zel
