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
// Sorts before kProductKey, as a key left from an earlier installation can.
constexpr wchar_t kStaleKey[] = L"{D0D0D0D0-0000-4000-8000-000000000012}";
constexpr wchar_t kOtherKey[] = L"{D0D0D0D0-0000-4000-8000-000000000014}";

constexpr wchar_t kRefused[] =
    L"このフォルダには別の製品がインストールされています (install_manifest.txt または Uninstall.exe "
    L"があります)。別のフォルダを指定してください。";
constexpr wchar_t kTooLong[] =
    L"インストール先のパスが長すぎます。Uninstall.exe のパスが 259 文字以内に収まるよう、245 "
    L"文字以内のフォルダを指定してください。";

class DestinationFactsTest : public ::testing::Test {
protected:
    DestinationFactsTest() {
        config_.AppName = L"Zel Destination Test " + std::to_wstring(::GetCurrentProcessId());
        config_.MainExe = L"bin\\Zel.exe";
        config_.Files = {L"bin\\Zel.exe", L"Doc\\*"};
    }
    ~DestinationFactsTest() override {
        for (const wchar_t* key : {kProductKey, kStaleKey, kOtherKey}) test::DeleteUninstallKey(key);
    }

    std::wstring Problem(const std::wstring& destination) {
        std::wstring problem;
        const bool accepted = ValidateDestination(destination, config_, problem);
        EXPECT_EQ(accepted, problem.empty()) << destination;
        return problem;
    }

    // A key of the product (or of another one) naming the folder.
    void Register(const wchar_t* key, const fs::path& folder, const std::wstring& appName) {
        SetupConfig config = config_;
        config.AppName = appName;
        ASSERT_TRUE(RegisterUninstallEntry(folder.wstring(), (folder / L"Uninstall.exe").wstring(), config, key, 1));
    }

    test::ScratchFolder folder_{L"destination"};
    SetupConfig config_;
    const std::wstring& appName_ = config_.AppName;
};

TEST_F(DestinationFactsTest, MachineFoldersAreRefused) {
    const DestinationFacts facts = GatherDestinationFacts(folder_.path().wstring(), config_);
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
    for (const wchar_t* marker : {L"Uninstall.exe", L"install_manifest.txt"}) {
        fs::remove_all(other);
        WriteFile(other / marker, "x");
        EXPECT_EQ(Problem(other.wstring()), kRefused) << marker;
    }

    // Our own registration names the folder (written in another spelling): an
    // install over it is this product's own.
    Register(kProductKey, folder_.path() / L"OTHER\\", appName_);
    EXPECT_EQ(Problem(other.wstring()), L"");
    EXPECT_EQ(Problem((folder_.path() / L"Elsewhere").wstring()), L"");
}

// The product's own installation stays its own when its key is gone (its
// manifest lists the product's main program) or when a stale key of the product
// stands in front of the live one; a key of another program naming the folder
// makes it that program's, whatever the manifest says.
TEST_F(DestinationFactsTest, OwnInstallationWithoutItsKeyOrBehindAStaleKeyIsAccepted) {
    const fs::path own = folder_.path() / L"Zel";
    WriteFile(own / L"Uninstall.exe", "MZ");
    WriteFile(own / L"bin\\Zel.exe", "MZ");
    const auto writeManifest = [&](const char* lines) {
        WriteFile(own / L"install_manifest.txt", std::string("\xEF\xBB\xBF") + lines);
    };

    writeManifest("Uninstall.exe\nBIN\\zel.exe\ninstall_manifest.txt\n");
    EXPECT_EQ(Problem(own.wstring()), L"") << "no key names it, the manifest lists the main program";
    writeManifest("Uninstall.exe\nbin\\Other.exe\n");
    EXPECT_EQ(Problem(own.wstring()), kRefused) << "the manifest lists no file of this product";
    fs::remove(own / L"install_manifest.txt");
    EXPECT_EQ(Problem(own.wstring()), kRefused) << "only Uninstall.exe";

    writeManifest("bin\\Zel.exe\n");
    Register(kOtherKey, own, appName_ + L" Other");
    EXPECT_EQ(Problem(own.wstring()), kRefused) << "another program's key names it";

    Register(kStaleKey, folder_.path() / L"gone", appName_);
    Register(kProductKey, own, appName_);
    InstalledProduct first;
    ASSERT_TRUE(FindInstalledProduct(appName_, first));
    ASSERT_EQ(first.keyName, kStaleKey) << "the stale key is the first the registry lists";
    EXPECT_EQ(Problem(own.wstring()), L"") << "the live key of this product names it";
}

// An existing folder whose long form, with "\\Zel" added, is one character
// over the limit; every name in it has more than eight characters, so that it
// has a short one.
std::wstring MakeLongFolder(const fs::path& base) {
    const std::size_t target = kMaxDestinationLength + 1 - 4;
    const std::wstring name = L"AFolderNameFarLongerThanEightCharacters_123456";
    std::wstring longForm = base.wstring();
    while (longForm.size() < target) {
        const std::size_t room = target - longForm.size() - 1;
        const std::size_t size = room <= name.size() ? room : (room - name.size() - 1 >= 10 ? name.size() : 30);
        longForm += L"\\" + name.substr(0, size);
    }
    EXPECT_EQ(::SHCreateDirectoryExW(nullptr, longForm.c_str(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(longForm.size() + 4, kMaxDestinationLength + 1);
    return longForm;
}

// The length limit holds for the form Windows opens: a path typed with short
// names that resolves to a longer one is refused.
TEST_F(DestinationFactsTest, LengthIsMeasuredOnTheResolvedLongForm) {
    const std::wstring longForm = MakeLongFolder(folder_.path());
    wchar_t shortForm[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(longForm.c_str(), shortForm, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, MAX_PATH);
    if (length >= longForm.size()) GTEST_SKIP() << "the file system gives no short names here";

    EXPECT_EQ(Problem(std::wstring(shortForm) + L"\\Zel"), kTooLong) << "resolves to one character over";
    EXPECT_EQ(Problem(std::wstring(shortForm) + L"\\Ze"), L"") << "resolves to the longest that fits";
    EXPECT_EQ(Problem(longForm + L"\\Zel"), kTooLong) << "typed in full";
}

TEST_F(DestinationFactsTest, LengthIsMeasuredBehindALink) {
    const std::wstring longForm = MakeLongFolder(folder_.path());
    const fs::path link = folder_.path() / L"L";
    if (!::CreateSymbolicLinkW(link.c_str(), longForm.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        !(::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
        GTEST_SKIP() << "directory links cannot be created here";
    }
    if (IsSameFolderText(GatherDestinationFacts(link.wstring(), config_).resolved, link.wstring())) {
        GTEST_SKIP() << "the file system does not report where a link leads here (Wine)";
    }
    EXPECT_EQ(Problem((link / L"Zel").wstring()), kTooLong);
    EXPECT_EQ(Problem((link / L"Ze").wstring()), L"");
}

}  // namespace
}  // namespace zel
