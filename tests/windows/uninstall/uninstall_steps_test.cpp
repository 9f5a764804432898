// The uninstall run's steps on real folders: key normalisation, the file pass
// and its confinement, tree removal, shortcut and Start-menu group removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "uninstall/uninstall_run.h"
#include "uninstall/uninstall_steps.h"
#include "util/file_removal.h"
#include "util/unique_handle.h"
#include "windows/uninstall/uninstall_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::Show;
using test::TempFolder;
using test::WriteFile;

struct KeyCase {
    std::wstring given;
    std::wstring normalised;
};

TEST(NormalizeProductKey, TrimsQuotesAndBlanksAndAddsBraces) {
    const KeyCase cases[] = {
        {L"{0A1B2C3D-1111-2222-3333-444455556666}", L"{0A1B2C3D-1111-2222-3333-444455556666}"},
        {L"\"{0A1B2C3D-1111-2222-3333-444455556666}\"", L"{0A1B2C3D-1111-2222-3333-444455556666}"},
        {L" \t\"{ABC}\" \t ", L"{ABC}"},
        {L"\" {ABC} \"", L"{ABC}"},
        {L"ABC", L"{ABC}"},
        {L"{ABC", L"{ABC}"},
        {L"ABC}", L"{ABC}"},
        {L"{A B}", L"{A B}"},  // blanks inside stay
        {L"a", L"{a}"},
        {L"{}", L"{}"},
        {L"\"{}\"", L"{}"},
        {L"{", L"{}"},
        {L"}", L"{}"},
        {L"", L""},
        {L" \" \t\"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeProductKey(c.given), c.normalised) << "given [" << Show(c.given) << "]";
    }
}

// The file pass over one install folder with a neighbour folder beside it.
class FilePass : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / L"Program Files\\アプリ");
        installDir_ = CanonicalOrEmpty(root_ / L"Program Files\\アプリ");
        ASSERT_FALSE(installDir_.empty());
        ownPath_ = installDir_ / L"Uninstall.exe";
        WriteFile(ownPath_);
    }

    std::vector<fs::path> Pass(const std::vector<std::wstring>& entries) {
        std::vector<fs::path> folders = RemoveManifestEntries(installDir_, ownPath_, entries);
        std::sort(folders.begin(), folders.end());
        folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
        return folders;
    }

    TempFolder root_;
    fs::path installDir_;
    fs::path ownPath_;
};

TEST_F(FilePass, RemovesListedFilesAndCollectsTheirFolders) {
    WriteFile(installDir_ / L"App.exe");
    WriteFile(installDir_ / L"Doc\\マニュアル.pdf");
    WriteFile(installDir_ / L"deep\\a\\b\\data.bin");
    WriteFile(installDir_ / L"Doc\\unlisted.txt");

    const auto folders = Pass({L"App.exe", L"Doc\\マニュアル.pdf", L"deep/a/b/data.bin"});

    EXPECT_FALSE(Exists(installDir_ / L"App.exe"));
    EXPECT_FALSE(Exists(installDir_ / L"Doc\\マニュアル.pdf"));
    EXPECT_FALSE(Exists(installDir_ / L"deep\\a\\b\\data.bin"));
    EXPECT_TRUE(Exists(installDir_ / L"Doc\\unlisted.txt"));
    const std::vector<fs::path> expected = {installDir_ / L"Doc", installDir_ / L"deep", installDir_ / L"deep\\a",
                                            installDir_ / L"deep\\a\\b"};
    EXPECT_EQ(folders, expected);
}

TEST_F(FilePass, NeverLeavesTheInstallFolderNorTouchesTheRunningProgram) {
    const fs::path outside = root_ / L"Program Files\\Other";
    WriteFile(outside / L"victim.txt");
    WriteFile(outside / L"absolute.txt");
    WriteFile(root_ / L"Program Files\\アプリ2\\prefix.txt");  // a sibling whose name starts like ours

    const auto folders =
        Pass({L"..\\Other\\victim.txt", L"sub\\..\\..\\Other\\victim.txt", (outside / L"absolute.txt").wstring(),
              L"..\\アプリ2\\prefix.txt", L".", L"..", L"Uninstall.exe", L"UNINSTALL.EXE", L"sub\\..\\Uninstall.exe"});

    EXPECT_TRUE(Exists(outside / L"victim.txt"));
    EXPECT_TRUE(Exists(outside / L"absolute.txt"));
    EXPECT_TRUE(Exists(root_ / L"Program Files\\アプリ2\\prefix.txt"));
    EXPECT_TRUE(Exists(ownPath_));
    EXPECT_TRUE(Exists(installDir_));
    EXPECT_TRUE(folders.empty());
}

TEST_F(FilePass, AFileAlreadyGoneLeavesItsFoldersUncollected) {
    fs::create_directories(installDir_ / L"gone\\inner");
    WriteFile(installDir_ / L"kept\\present.txt");

    const auto folders = Pass({L"gone\\inner\\missing.txt", L"kept\\present.txt"});

    EXPECT_EQ(folders, std::vector<fs::path>{installDir_ / L"kept"});
    EXPECT_TRUE(Exists(installDir_ / L"gone\\inner"));
}

TEST_F(FilePass, DirectoryEntriesAreRemovedEmptyOrNot) {
    fs::create_directories(installDir_ / L"plugins\\empty");
    WriteFile(installDir_ / L"plugins\\full\\a.dll");
    WriteFile(installDir_ / L"plugins\\full\\nested\\b.dll");

    const auto folders = Pass({L"plugins\\empty", L"plugins\\full"});

    EXPECT_FALSE(Exists(installDir_ / L"plugins\\empty"));
    EXPECT_FALSE(Exists(installDir_ / L"plugins\\full"));
    EXPECT_TRUE(Exists(installDir_ / L"plugins"));  // left for the folder clean-up
    EXPECT_EQ(folders, std::vector<fs::path>{installDir_ / L"plugins"});
}

TEST_F(FilePass, NothingHappensWithoutAnInstallFolder) {
    WriteFile(installDir_ / L"App.exe");
    EXPECT_TRUE(RemoveManifestEntries(fs::path(), ownPath_, {(installDir_ / L"App.exe").wstring()}).empty());
    EXPECT_TRUE(Exists(installDir_ / L"App.exe"));
}

TEST(CanonicalOrEmpty, RelativePathsHaveNoCanonicalForm) {
    EXPECT_TRUE(CanonicalOrEmpty(L"relative\\folder").empty());
    EXPECT_TRUE(CanonicalOrEmpty(L"\\rooted\\without\\drive").empty());
    EXPECT_TRUE(CanonicalOrEmpty(L"C:drive-relative").empty());
    EXPECT_TRUE(CanonicalOrEmpty(L"").empty());
    EXPECT_FALSE(CanonicalOrEmpty(L"C:\\windows\\..\\windows").empty());
}

TEST(RemoveFolderTree, RemovesNestedAndReadOnlyContents) {
    TempFolder root;
    WriteFile(root / L"tree\\a\\b\\c.txt");
    const fs::path readOnly = root / L"tree\\a\\readonly.txt";
    WriteFile(readOnly);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);

    RemoveFolderTree(root / L"tree");

    EXPECT_FALSE(Exists(root / L"tree"));
    EXPECT_TRUE(Exists(root.path()));
}

TEST(RemoveFolderTree, RemovesALinkInsideWithoutEnteringIt) {
    TempFolder root;
    WriteFile(root / L"tree\\file.txt");
    WriteFile(root / L"elsewhere\\precious.txt");
    const fs::path link = root / L"tree\\link";
    CreateSymbolicLinkW(link.c_str(), (root / L"elsewhere").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        GTEST_SKIP() << "directory links cannot be created here";
    }

    RemoveFolderTree(root / L"tree");

    EXPECT_FALSE(Exists(root / L"tree"));
    EXPECT_TRUE(Exists(root / L"elsewhere\\precious.txt"));
}

// Desktop and Start-menu folders with the product's links, another product's
// links and the user's own files.
class ShortcutRemoval : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / L"Program Files\\App");
        installDir_ = CanonicalOrEmpty(root_ / L"Program Files\\App");
        ASSERT_FALSE(installDir_.empty());
        WriteFile(installDir_ / L"App.exe");
        WriteFile(root_ / L"Program Files\\Other\\Other.exe");
    }
    fs::path Own() const { return installDir_ / L"App.exe"; }
    fs::path Foreign() const { return root_ / L"Program Files\\Other\\Other.exe"; }

    ComApartment apartment_;
    TempFolder root_;
    fs::path installDir_;
};

TEST_F(ShortcutRemoval, DesktopLinkGoesOnlyWhenItIsTheProducts) {
    struct Case {
        std::wstring name;
        std::vector<std::wstring> ownLinks;      // links into the install folder
        std::vector<std::wstring> foreignLinks;  // links elsewhere
        std::vector<std::wstring> userFiles;     // plain files
        std::vector<std::wstring> removed;
    };
    const Case cases[] = {
        {L"My App", {L"My App.lnk"}, {}, {L"My App"}, {L"My App.lnk"}},
        // The user's file of the configured name stays; so does a link of
        // another product under the product's name.
        {L"Notes.txt", {}, {}, {L"Notes.txt"}, {}},
        {L"Notes.txt", {L"Notes.txt.lnk"}, {}, {L"Notes.txt"}, {L"Notes.txt.lnk"}},
        {L"My App", {}, {L"My App.lnk"}, {}, {}},
        // Earlier installations named "Tool 1.5" without ".lnk".
        {L"Tool 1.5", {L"Tool 1.5"}, {}, {}, {L"Tool 1.5"}},
        {L"Tool 1.5", {L"Tool 1.5.lnk"}, {}, {}, {L"Tool 1.5.lnk"}},
        {L"App.lnk", {L"App.lnk"}, {}, {L"App.lnk.lnk"}, {L"App.lnk"}},
        {L"アプリ", {L"アプリ.lnk"}, {}, {}, {L"アプリ.lnk"}},
        {L"..\\outside", {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.name));
        const fs::path desktop = root_ / L"Desktop";
        RemoveFolderTree(desktop);
        fs::create_directories(desktop);
        for (const auto& name : c.ownLinks) ASSERT_TRUE(test::WriteLink(desktop / name, Own()));
        for (const auto& name : c.foreignLinks) ASSERT_TRUE(test::WriteLink(desktop / name, Foreign()));
        for (const auto& name : c.userFiles) WriteFile(desktop / name, "mine");
        ASSERT_TRUE(test::WriteLink(root_ / L"outside.lnk", Own()));

        RemoveDesktopShortcut(desktop, c.name, installDir_);

        for (const auto* list : {&c.ownLinks, &c.foreignLinks, &c.userFiles}) {
            for (const auto& name : *list) {
                const bool removed = std::find(c.removed.begin(), c.removed.end(), name) != c.removed.end();
                EXPECT_EQ(Exists(desktop / name), !removed) << Show(name);
            }
        }
        EXPECT_TRUE(Exists(root_ / L"outside.lnk"));
    }
}

TEST_F(ShortcutRemoval, SharedGroupKeepsWhatIsNotTheProducts) {
    const fs::path programs = root_ / L"Programs";
    const fs::path group = programs / L"Tools";
    ASSERT_TRUE(test::WriteLink(group / L"App.lnk", Own()));
    ASSERT_TRUE(test::WriteLink(group / L"Docs\\Manual.lnk", Own()));
    ASSERT_TRUE(test::WriteLink(group / L"Tool 1.5", Own()));  // made before links always ended in ".lnk"
    ASSERT_TRUE(test::WriteLink(group / L"Other.lnk", Foreign()));
    WriteFile(group / L"notes.txt", "the user's");
    ASSERT_TRUE(test::WriteLink(programs / L"Vendor\\App\\App.lnk", Own()));
    ASSERT_TRUE(test::WriteLink(programs / L"Vendor\\App\\Sub\\App.lnk", Own()));
    ASSERT_TRUE(test::WriteLink(programs / L"Vendor\\Other.lnk", Own()));  // outside the group
    ASSERT_TRUE(test::WriteLink(programs / L"Neighbour\\App.lnk", Own()));
    ASSERT_TRUE(test::WriteLink(root_ / L"Elsewhere\\App.lnk", Own()));

    RemoveStartMenuGroup(programs, L"Tools", installDir_);
    RemoveStartMenuGroup(programs, L"Vendor\\App", installDir_);
    const std::wstring confined[] = {L"..", L".", (root_ / L"Elsewhere").wstring(), L"Missing"};
    for (const std::wstring& name : confined) RemoveStartMenuGroup(programs, name, installDir_);

    EXPECT_FALSE(Exists(group / L"App.lnk"));
    EXPECT_FALSE(Exists(group / L"Docs"));
    EXPECT_FALSE(Exists(group / L"Tool 1.5"));
    EXPECT_TRUE(Exists(group / L"Other.lnk"));
    EXPECT_TRUE(Exists(group / L"notes.txt"));
    EXPECT_FALSE(Exists(programs / L"Vendor\\App")) << "an emptied group goes";
    EXPECT_TRUE(Exists(programs / L"Vendor\\Other.lnk"));
    EXPECT_TRUE(Exists(programs / L"Neighbour\\App.lnk"));
    EXPECT_TRUE(Exists(root_ / L"Elsewhere\\App.lnk"));
}

}  // namespace
}  // namespace zel
