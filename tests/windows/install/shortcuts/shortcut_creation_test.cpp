#include "install/shortcuts/shortcut_creation.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "util/known_folder.h"
#include "util/unique_handle.h"
#include "windows/install/install_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

struct LinkFields {
    std::wstring path;
    std::wstring iconPath;
    int iconIndex = -1;
    std::wstring workingDirectory;
};

// Reads a link file back through the shell-link object.
bool ReadLink(const fs::path& link, LinkFields& fields) {
    ComPtr<IShellLinkW> shellLink;
    ComPtr<IPersistFile> file;
    if (FAILED(
            ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.putVoid())) ||
        FAILED(shellLink->QueryInterface(IID_IPersistFile, file.putVoid())) ||
        FAILED(file->Load(link.c_str(), STGM_READ))) {
        return false;
    }
    wchar_t text[MAX_PATH] = {};
    shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    fields.path = text;
    shellLink->GetIconLocation(text, MAX_PATH, &fields.iconIndex);
    fields.iconPath = text;
    shellLink->GetWorkingDirectory(text, MAX_PATH);
    fields.workingDirectory = text;
    return true;
}

class ShortcutsTest : public ::testing::Test {
protected:
    ShortcutsTest() : install_(L"links") {
        installDir_ = (install_.path() / L"App").wstring();
        for (const wchar_t* rel : {L"App.exe", L"Doc\\Manual.pdf", L"bin\\Tool.exe"}) {
            test::WriteFile(fs::path(installDir_) / rel, "x");
        }
        config_.MainExe = L"App.exe";
        config_.ShortcutName = L"Zel Shortcut Test " + std::to_wstring(::GetCurrentProcessId());
        groupRoot_ = L"Zel Test Group " + std::to_wstring(::GetCurrentProcessId());
        config_.StartMenuGroupName = groupRoot_ + L"\\Sub";
    }
    ~ShortcutsTest() override {
        std::error_code error;
        fs::remove(LinkPathFor(fs::path(KnownFolderPath(FOLDERID_Desktop)), config_.ShortcutName), error);
        fs::remove_all(fs::path(KnownFolderPath(FOLDERID_Programs)) / groupRoot_, error);
    }

    void ExpectLink(const fs::path& link, const fs::path& target) {
        SCOPED_TRACE(link.string());
        LinkFields fields;
        ASSERT_TRUE(ReadLink(link, fields));
        EXPECT_EQ(fields.path, target.wstring());
        EXPECT_EQ(fields.iconPath, target.wstring());
        EXPECT_EQ(fields.iconIndex, 0);
        EXPECT_EQ(fields.workingDirectory, installDir_);
    }

    ComApartment apartment_;
    test::ScratchFolder install_;
    std::wstring installDir_;
    std::wstring groupRoot_;
    SetupConfig config_;
};

TEST_F(ShortcutsTest, LinkCarriesTargetIconAndInstallFolderAndIsReplacedInPlace) {
    const fs::path link = install_.path() / L"nested\\folders\\My App.lnk";
    const fs::path target = fs::path(installDir_) / L"Doc\\Manual.pdf";
    std::wstring errorText;
    ASSERT_TRUE(CreateShortcut(link, target, installDir_, errorText)) << fs::path(errorText).string();
    ExpectLink(link, target);

    const fs::path other = fs::path(installDir_) / L"bin\\Tool.exe";
    ASSERT_TRUE(CreateShortcut(link, other, installDir_, errorText));
    ExpectLink(link, other);
}

TEST_F(ShortcutsTest, MissingTargetIsReported) {
    const fs::path target = fs::path(installDir_) / L"nope.exe";
    std::wstring errorText;
    EXPECT_FALSE(CreateShortcut(install_.path() / L"x.lnk", target, installDir_, errorText));
    EXPECT_EQ(errorText, L"ショートカット対象が見つかりません: " + target.wstring());
    EXPECT_FALSE(fs::exists(install_.path() / L"x.lnk"));
}

TEST_F(ShortcutsTest, DesktopShortcutAndItsErrors) {
    std::wstring errorText;
    ASSERT_TRUE(CreateDesktopShortcut(installDir_, config_, errorText)) << fs::path(errorText).string();
    ExpectLink(fs::path(KnownFolderPath(FOLDERID_Desktop)) / (config_.ShortcutName + L".lnk"),
               fs::path(installDir_) / L"App.exe");

    SetupConfig noExe = config_;
    noExe.MainExe.clear();
    EXPECT_FALSE(CreateDesktopShortcut(installDir_, noExe, errorText));
    EXPECT_EQ(errorText,
              L"setup.ini の [Files] セクションに exe の記述が見つからないため、ショートカットを作成できません。");

    SetupConfig missing = config_;
    missing.MainExe = L"bin\\Missing.exe";
    EXPECT_FALSE(CreateDesktopShortcut(installDir_, missing, errorText));
    EXPECT_EQ(errorText, L"ショートカット対象の exe が見つかりません: " + installDir_ + L"\\bin\\Missing.exe");
}

TEST_F(ShortcutsTest, StartMenuItemsInNestedGroupWithSubfolderAndVersionedLabel) {
    config_.StartMenuItems = {
        {L"My App", L"App.exe"}, {L"Docs\\Manual", L"Doc\\Manual.pdf"}, {L"Tool 1.5", L"bin\\Tool.exe"}};
    std::wstring errorText;
    ASSERT_TRUE(CreateStartMenuItems(installDir_, config_, errorText)) << fs::path(errorText).string();

    const fs::path group = fs::path(KnownFolderPath(FOLDERID_Programs)) / config_.StartMenuGroupName;
    ExpectLink(group / L"My App.lnk", fs::path(installDir_) / L"App.exe");
    ExpectLink(group / L"Docs\\Manual.lnk", fs::path(installDir_) / L"Doc\\Manual.pdf");
    ExpectLink(group / L"Tool 1.5.lnk", fs::path(installDir_) / L"bin\\Tool.exe");
    EXPECT_FALSE(fs::exists(group / L"Tool 1.5"));
}

TEST_F(ShortcutsTest, StartMenuStopsAtTheFirstFailingItem) {
    config_.StartMenuItems = {{L"First", L"App.exe"}, {L"Broken", L"NotInstalled.exe"}, {L"Third", L"bin\\Tool.exe"}};
    std::wstring errorText;
    EXPECT_FALSE(CreateStartMenuItems(installDir_, config_, errorText));
    EXPECT_EQ(errorText, L"Broken (ショートカット対象が見つかりません: " + installDir_ + L"\\NotInstalled.exe)");
    const fs::path group = fs::path(KnownFolderPath(FOLDERID_Programs)) / config_.StartMenuGroupName;
    EXPECT_TRUE(fs::exists(group / L"First.lnk"));
    EXPECT_FALSE(fs::exists(group / L"Broken.lnk"));
    EXPECT_FALSE(fs::exists(group / L"Third.lnk"));
}

// The install adds Uninstall.exe itself: its link is made also before the copy
// has landed, and the items after it follow.
TEST_F(ShortcutsTest, StartMenuItemForTheUninstallerIsMadeBeforeItIsThere) {
    config_.StartMenuItems = {{L"Remove", L"uninstall.EXE"}, {L"My App", L"App.exe"}};
    ASSERT_FALSE(fs::exists(fs::path(installDir_) / L"Uninstall.exe"));
    std::wstring errorText;
    ASSERT_TRUE(CreateStartMenuItems(installDir_, config_, errorText)) << fs::path(errorText).string();

    const fs::path group = fs::path(KnownFolderPath(FOLDERID_Programs)) / config_.StartMenuGroupName;
    ExpectLink(group / L"Remove.lnk", fs::path(installDir_) / L"uninstall.EXE");
    ExpectLink(group / L"My App.lnk", fs::path(installDir_) / L"App.exe");
}

TEST_F(ShortcutsTest, NothingToCreateIsSuccess) {
    const fs::path groupRoot = fs::path(KnownFolderPath(FOLDERID_Programs)) / groupRoot_;
    std::wstring errorText;
    EXPECT_TRUE(CreateStartMenuItems(installDir_, config_, errorText));  // no items
    config_.StartMenuItems = {{L"My App", L"App.exe"}};
    config_.StartMenuGroupName.clear();
    EXPECT_TRUE(CreateStartMenuItems(installDir_, config_, errorText));
    EXPECT_TRUE(errorText.empty());
    EXPECT_FALSE(fs::exists(groupRoot));
}

// Names that would write outside the Desktop or the Programs folder are
// refused; a name like a document's gets ".lnk" and leaves the document alone.
TEST_F(ShortcutsTest, NamesAreConfinedAndTheUsersFileIsLeftAlone) {
    const fs::path desktop = fs::path(KnownFolderPath(FOLDERID_Desktop));
    const fs::path programs = fs::path(KnownFolderPath(FOLDERID_Programs));
    std::wstring errorText;

    SetupConfig notes = config_;
    notes.ShortcutName = L"Zel Notes " + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    const fs::path usersFile = desktop / notes.ShortcutName;
    test::WriteFile(usersFile, "the user's notes");
    ASSERT_TRUE(CreateDesktopShortcut(installDir_, notes, errorText)) << fs::path(errorText).string();
    EXPECT_EQ(test::ReadFile(usersFile), "the user's notes");
    ExpectLink(desktop / (notes.ShortcutName + L".lnk"), fs::path(installDir_) / L"App.exe");
    fs::remove(usersFile);
    fs::remove(desktop / (notes.ShortcutName + L".lnk"));

    const fs::path outside = install_.path() / L"outside";
    for (const std::wstring& name : {(outside / L"Evil").wstring(), std::wstring(L"..\\Evil"), std::wstring(L"")}) {
        SetupConfig bad = config_;
        bad.ShortcutName = name;
        EXPECT_FALSE(CreateDesktopShortcut(installDir_, bad, errorText));
        EXPECT_EQ(errorText, L"ショートカット名が不正です: " + name);
    }
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(desktop.parent_path() / L"Evil.lnk"));

    config_.StartMenuItems = {{L"My App", L"App.exe"}};
    for (const std::wstring& group : {std::wstring(L"..\\..\\Zel Evil"), outside.wstring(), std::wstring(L"C:Zel")}) {
        SetupConfig bad = config_;
        bad.StartMenuGroupName = group;
        EXPECT_FALSE(CreateStartMenuItems(installDir_, bad, errorText));
        EXPECT_EQ(errorText, L"スタートメニューのグループ名が不正です: " + group);
    }
    EXPECT_FALSE(fs::exists(programs.parent_path().parent_path() / L"Zel Evil"));

    config_.StartMenuItems = {{L"First", L"App.exe"}, {L"..\\..\\Escaped", L"App.exe"}};
    EXPECT_FALSE(CreateStartMenuItems(installDir_, config_, errorText));
    EXPECT_EQ(errorText, L"..\\..\\Escaped (ショートカット名が不正です: ..\\..\\Escaped)");
    EXPECT_TRUE(fs::exists(programs / config_.StartMenuGroupName / L"First.lnk"));
    EXPECT_FALSE(fs::exists(programs / L"Escaped.lnk"));
}

}  // namespace
}  // namespace zel
