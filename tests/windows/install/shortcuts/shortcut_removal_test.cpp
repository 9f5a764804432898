// Removal of the product's shortcuts on real folders: only its own links go.
#include "install/shortcuts/shortcut_removal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "util/file_removal.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"
#include "windows/uninstall/uninstall_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::Show;
using test::TempFolder;
using test::WriteFile;

// Desktop and Start-menu folders with the product's links, another product's
// links and the user's own files.
class ShortcutRemoval : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / L"Program Files\\App");
        ASSERT_TRUE(WeaklyCanonical(root_ / L"Program Files\\App", installDir_));
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

        RemoveDesktopShortcut(desktop, c.name, installDir_, installDir_.wstring());

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

    RemoveStartMenuGroup(programs, L"Tools", installDir_, installDir_.wstring());
    RemoveStartMenuGroup(programs, L"Vendor\\App", installDir_, installDir_.wstring());
    const std::wstring confined[] = {L"..", L".", (root_ / L"Elsewhere").wstring(), L"Missing"};
    for (const std::wstring& name : confined) {
        RemoveStartMenuGroup(programs, name, installDir_, installDir_.wstring());
    }

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

// When the install folder cannot be resolved (its drive gone, or the file
// system refuses to say where it leads), the run has no canonical folder: the
// links are told by their targets' text against the location as registered.
TEST_F(ShortcutRemoval, LinksGoByTheRegisteredLocationsTextWhenTheFolderCannotBeResolved) {
    struct Case {
        std::wstring location;   // as registered
        std::wstring linkedDir;  // where the links were made to point
        bool removed;
    };
    const Case cases[] = {
        {L"Q:\\Zel App", L"Q:\\Zel App", true},
        {L"q:/zel app\\", L"Q:\\Zel App", true},        // other case, separators, a trailing one
        {L"Q:\\Zel App", L"Q:\\Zel App Other", false},  // only a prefix of the name
        {L"Q:\\Zel App", L"Q:\\Elsewhere", false},
        {L"Zel App", L"Q:\\Zel App", false},  // a relative location matches nothing
        {L"", L"Q:\\Zel App", false},
    };
    const fs::path desktop = root_ / L"Desktop";
    const fs::path programs = root_ / L"Programs";
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.location + L" | " + c.linkedDir));
        RemoveFolderTree(desktop);
        RemoveFolderTree(programs);
        // The drive Q: does not exist: the links are made without their target.
        const fs::path target = fs::path(c.linkedDir) / L"App.exe";
        std::wstring error;
        ASSERT_TRUE(CreateShortcut(desktop / L"Zel App.lnk", target, c.linkedDir, error, true));
        ASSERT_TRUE(CreateShortcut(programs / L"Zel\\App.lnk", target, c.linkedDir, error, true));

        RemoveDesktopShortcut(desktop, L"Zel App", fs::path(), c.location);
        RemoveStartMenuGroup(programs, L"Zel", fs::path(), c.location);

        EXPECT_EQ(Exists(desktop / L"Zel App.lnk"), !c.removed);
        EXPECT_EQ(Exists(programs / L"Zel"), !c.removed);
    }
}

}  // namespace
}  // namespace zel
