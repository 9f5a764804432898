#include "install/destination/destination_rules.h"

#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "install/registration/uninstall_entry.h"
#include "util/known_folder.h"
#include "util/unique_handle.h"
#include "windows/install/install_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring ProgramFiles() { return KnownFolderPath(FOLDERID_ProgramFiles); }

// A drive letter that names no drive on this machine.
std::wstring UnusedDrive() {
    const DWORD drives = ::GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
        if (!(drives & (1u << (letter - L'A')))) return std::wstring(1, letter) + L":";
    }
    return {};
}

constexpr wchar_t kProductKey[] = L"{D0D0D0D0-0000-4000-8000-000000000013}";

class DestinationFactsTest : public ::testing::Test {
protected:
    ~DestinationFactsTest() override { test::DeleteUninstallKey(kProductKey); }

    std::wstring Problem(const std::wstring& destination) {
        std::wstring problem;
        const bool accepted = ValidateDestination(destination, appName_, problem);
        EXPECT_EQ(accepted, problem.empty()) << destination;
        return problem;
    }

    test::ScratchFolder folder_{L"destination"};
    const std::wstring appName_ = L"Zel Destination Test " + std::to_wstring(::GetCurrentProcessId());
};

TEST_F(DestinationFactsTest, MachineFoldersAreRefused) {
    const DestinationFacts facts = GatherDestinationFacts(folder_.path().wstring(), appName_);
    EXPECT_TRUE(IsSameFolderText(facts.windowsFolder, WindowsFolder()));
    EXPECT_FALSE(facts.programFilesFolders.empty());
    EXPECT_FALSE(facts.profilesFolder.empty());
    EXPECT_FALSE(facts.userProfile.empty());
    EXPECT_EQ(facts.drive, DestinationDrive::Local);

    EXPECT_EQ(Problem((folder_.path() / L"Zel App").wstring()), L"");
    EXPECT_EQ(Problem(WindowsFolder()), L"Windows フォルダとその中にはインストールできません。");
    EXPECT_EQ(Problem(WindowsFolder() + L"\\Zel"), L"Windows フォルダとその中にはインストールできません。");
    EXPECT_TRUE(Problem(ProgramFiles()).starts_with(L"ドライブ、Program Files またはユーザー プロファイル"));
    EXPECT_EQ(Problem(ProgramFiles() + L"\\Zel App"), L"");
}

TEST_F(DestinationFactsTest, MissingDriveAndFileInTheWayAreNamed) {
    const std::wstring drive = UnusedDrive();
    ASSERT_FALSE(drive.empty());
    EXPECT_EQ(Problem(drive + L"\\Zel App"), L"インストール先のドライブが見つかりません: " + drive);

    const fs::path blocker = folder_.path() / L"blocker";
    WriteFile(blocker, "a file, not a folder");
    const std::wstring expected =
        L"インストール先に同じ名前のファイルがあるため、フォルダを作成できません: " + blocker.wstring();
    EXPECT_EQ(Problem(blocker.wstring()), expected);
    EXPECT_EQ(Problem((blocker / L"sub\\deeper").wstring()), expected);
}

TEST_F(DestinationFactsTest, AnotherProductsInstallationIsRefusedButNotOurOwn) {
    const fs::path other = folder_.path() / L"Other";
    const std::wstring refused =
        L"このフォルダには別の製品がインストールされています (install_manifest.txt または Uninstall.exe "
        L"があります)。別のフォルダを指定してください。";
    for (const wchar_t* marker : {L"Uninstall.exe", L"install_manifest.txt"}) {
        fs::remove_all(other);
        WriteFile(other / marker, "x");
        EXPECT_EQ(Problem(other.wstring()), refused) << marker;
    }

    // Our own registration names the folder (written in another spelling): an
    // install over it is this product's own.
    SetupConfig config;
    config.AppName = appName_;
    ASSERT_TRUE(RegisterUninstallEntry((folder_.path() / L"OTHER\\").wstring(), (other / L"Uninstall.exe").wstring(),
                                       config, kProductKey, 1));
    EXPECT_EQ(Problem(other.wstring()), L"");
    EXPECT_EQ(Problem((folder_.path() / L"Elsewhere").wstring()), L"");
}

}  // namespace
}  // namespace zel
