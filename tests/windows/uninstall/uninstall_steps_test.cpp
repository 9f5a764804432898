// The uninstall run's steps on real folders: key normalisation, the file pass
// and its confinement.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "uninstall/uninstall_run.h"
#include "uninstall/uninstall_steps.h"
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

}  // namespace
}  // namespace zel
