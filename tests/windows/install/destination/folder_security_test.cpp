#include "install/destination/folder_security.h"

#include <windows.h>
// After windows.h
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/show_text.h"
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
// system, and the folder's own list is read back only where the platform keeps it.
TEST(FolderSecurity, InstallFolderListIsLikeProgramFiles) {
    const test::ParsedDescriptor parsed = test::ParseSddl(ProtectedInstallFolderSddl());
    ASSERT_TRUE(parsed.parsed);
    EXPECT_TRUE(parsed.isProtected) << "nothing may be inherited from the drive root";
    ASSERT_EQ(parsed.entries.size(), 3u);
    EXPECT_EQ(parsed.entries[0].sid, L"S-1-5-18");
    EXPECT_EQ(parsed.entries[0].mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_EQ(parsed.entries[1].sid, L"S-1-5-32-544");
    EXPECT_EQ(parsed.entries[1].mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_EQ(parsed.entries[2].sid, L"S-1-5-32-545");
    EXPECT_EQ(parsed.entries[2].mask, static_cast<ACCESS_MASK>(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE));
    for (const test::AllowedEntry& entry : parsed.entries) {
        EXPECT_EQ(entry.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    }
}

TEST(FolderSecurity, CreatesTheMissingChainAndLeavesAnExistingFolderAlone) {
    ScratchFolder scratch(L"protected_folder");
    const fs::path folder = scratch.path() / L"Vendor" / L"アプリ";
    fs::path top;
    EXPECT_TRUE(CreateProtectedFolder(folder, &top));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(top, scratch.path() / L"Vendor") << "the topmost new folder gets the list, the rest inherit it";
    top.clear();
    EXPECT_FALSE(CreateProtectedFolder(folder, &top)) << "an existing folder is not made again";
    EXPECT_TRUE(top.empty());
    EXPECT_TRUE(CreateProtectedFolder(folder / L"Sub", &top));
    EXPECT_EQ(top, folder / L"Sub");

    // Where the platform keeps access lists, the topmost new folder reads back
    // as set; Wine does not, and the check is left to the list above.
    const std::vector<test::AllowedEntry> entries = test::FileAllowedEntries(scratch.path() / L"Vendor");
    if (entries.size() == 3 && entries[2].sid == L"S-1-5-32-545") {
        EXPECT_FALSE(StandardUsersCanWrite(scratch.path() / L"Vendor"));
    }

    const fs::path file = scratch.path() / L"file";
    test::WriteFile(file, "x");
    EXPECT_THROW(CreateProtectedFolder(file / L"sub"), fs::filesystem_error);
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
