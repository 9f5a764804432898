#include "uninstall/folder_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "windows/uninstall/uninstall_test_support.h"

namespace zel {
namespace {

using test::Exists;
using test::TempFolder;
using test::WriteFile;

// What exists before, the folder list handed over (L"" = the install folder)
// and which folders must remain afterwards.
struct CleanUpCase {
    const char* name;
    std::vector<std::wstring> folders;  // created empty
    std::vector<std::wstring> files;    // created, not in any list
    std::vector<std::wstring> list;
    std::vector<std::wstring> remaining;
};

class RemoveEmptiedFoldersTest : public testing::TestWithParam<CleanUpCase> {};

TEST_P(RemoveEmptiedFoldersTest, RemovesWhatBecameEmptyDeepestFirst) {
    const CleanUpCase& c = GetParam();
    TempFolder installDir;
    for (const auto& folder : c.folders) std::filesystem::create_directories(installDir / folder);
    for (const auto& file : c.files) WriteFile(installDir / file);

    std::vector<std::filesystem::path> list;
    for (const auto& folder : c.list) list.push_back(folder.empty() ? installDir.path() : installDir / folder);
    RemoveEmptiedFolders(installDir.path(), list);

    EXPECT_TRUE(Exists(installDir.path())) << "the install folder must stay";
    for (const auto& folder : c.folders) {
        const bool shouldRemain = std::find(c.remaining.begin(), c.remaining.end(), folder) != c.remaining.end();
        EXPECT_EQ(Exists(installDir / folder), shouldRemain) << installDir / folder;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveEmptiedFoldersTest,
    testing::Values(CleanUpCase{"duplicates", {L"a"}, {}, {L"a", L"a", L"a"}, {}},
                    // Only a deepest-first order removes the whole chain in one pass.
                    CleanUpCase{"nestedChain", {L"a\\b\\c"}, {}, {L"a", L"a\\b\\c", L"a\\b", L"a\\b", L"a"}, {}},
                    CleanUpCase{"unlistedFileKeepsAncestors",
                                {L"a\\b\\c"},
                                {L"a\\b\\メモ.txt"},
                                {L"a\\b\\c", L"a", L"a\\b"},
                                {L"a", L"a\\b"}},
                    CleanUpCase{"installFolderNeverRemoved", {L"x"}, {}, {L"", L"x", L""}, {}},
                    CleanUpCase{
                        "namesWithBlanks", {L"My Docs\\Sub Folder"}, {}, {L"My Docs", L"My Docs\\Sub Folder"}, {}}),
    [](const testing::TestParamInfo<CleanUpCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel
