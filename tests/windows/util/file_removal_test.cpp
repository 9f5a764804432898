// Removing a folder tree on real folders.
#include "util/file_removal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "windows/uninstall/uninstall_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::TempFolder;
using test::WriteFile;

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

}  // namespace
}  // namespace zel
