#include "uninstall/folder_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/scratch_folder.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

TEST(OrderFoldersForRemoval, EachFolderOnceAndBeforeItsParent) {
    const fs::path root = "/inst";
    std::vector<fs::path> folders = {root / "a",      root / "a" / "b" / "c", root / "z",        root / "a" / "b",
                                     root / "a",      root / "a" / "b" / "c", root / "zz" / "y", root / "zz",
                                     root / "a" / "b"};
    OrderFoldersForRemoval(folders);

    const std::vector<fs::path> expectedSet = {root / "a", root / "a" / "b", root / "a" / "b" / "c",
                                               root / "z", root / "zz",      root / "zz" / "y"};
    std::vector<fs::path> sorted = folders;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, expectedSet);
    for (size_t i = 1; i < folders.size(); ++i) {
        EXPECT_GE(folders[i - 1].native().size(), folders[i].native().size()) << folders[i];
    }
}

// One row per situation on real folders: what exists before, the list given,
// and which folders must remain (relative to the test root).
struct CleanUpCase {
    const char* name;
    std::vector<std::string> folders;    // created empty
    std::vector<std::string> files;      // created, not listed anywhere
    std::vector<std::string> list;       // folder list handed over ("" = the install folder)
    std::vector<std::string> remaining;  // folders that must still exist
    std::vector<std::string> order;      // expected removal attempts, in order
};

class FolderCleanUp : public testing::TestWithParam<CleanUpCase> {
protected:
    fs::path At(const std::string& relative) const { return relative.empty() ? root_ : root_ / relative; }

    const test::ScratchFolder scratch_{L"uninstall_cleanup"};
    const fs::path root_ = scratch_.path();
};

TEST_P(FolderCleanUp, RemovesEmptiedFoldersDeepestFirst) {
    const CleanUpCase& c = GetParam();
    for (const auto& folder : c.folders) fs::create_directories(At(folder));
    for (const auto& file : c.files) std::ofstream(At(file)) << "keep";

    std::vector<fs::path> list;
    for (const auto& folder : c.list) list.push_back(At(folder));
    std::vector<fs::path> attempts;
    CleanUpFolders(root_, list, [&attempts](const fs::path& folder) {
        attempts.push_back(folder);
        std::error_code ec;
        fs::remove(folder, ec);  // removes empty folders only, like RemoveDirectoryW
    });

    std::vector<fs::path> expectedOrder;
    for (const auto& folder : c.order) expectedOrder.push_back(At(folder));
    EXPECT_EQ(attempts, expectedOrder);
    EXPECT_TRUE(fs::is_directory(root_)) << "the install folder must stay";
    for (const auto& folder : c.folders) {
        const bool shouldRemain = std::find(c.remaining.begin(), c.remaining.end(), folder) != c.remaining.end();
        EXPECT_EQ(fs::exists(At(folder)), shouldRemain) << folder;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderCleanUp,
    testing::Values(CleanUpCase{"duplicates", {"a"}, {}, {"a", "a", "a"}, {}, {"a"}},
                    CleanUpCase{"nested", {"a/b/c"}, {}, {"a", "a/b/c", "a/b", "a/b", "a"}, {}, {"a/b/c", "a/b", "a"}},
                    CleanUpCase{"unlistedFileKeepsAncestors",
                                {"a/b/c", "a/b"},
                                {"a/b/notes.txt"},
                                {"a/b/c", "a", "a/b"},
                                {"a", "a/b"},
                                {"a/b/c", "a/b", "a"}},
                    CleanUpCase{"installFolderNeverRemoved", {"x"}, {}, {"", "x", ""}, {}, {"x"}},
                    CleanUpCase{"siblings",
                                {"a/one", "a/three", "bb"},
                                {"bb/keep.txt"},
                                {"a/one", "bb", "a/three", "a"},
                                {"bb"},
                                {"a/three", "a/one", "bb", "a"}}),
    [](const testing::TestParamInfo<CleanUpCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel
