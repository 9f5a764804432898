// Writes that follow no link. Under Wine a Unix symbolic link stands in for a
// link or junction a standard user made: Wine reports none of them as a file's
// link and follows them all, so what is checked is that nothing reaches the
// link's target.
#include "util/no_follow_write.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/scratch_folder.h"
#include "e2e/automation/unix_links.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;

class NoFollowWrite : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FinalFolderPath(scratch_.path());
        ASSERT_FALSE(root_.empty());
        WriteFile(root_ / L"victim" / L"system.dll", "system's");
        if (!test::MakeUnixLink(root_ / L"linkedFolder", root_ / L"victim") ||
            !test::MakeUnixLink(root_ / L"linkedFile", root_ / L"victim" / L"system.dll") ||
            !test::MakeUnixLink(root_ / L"dangling", root_ / L"victim" / L"new.dll")) {
            GTEST_SKIP() << "links are made with Wine's help only";
        }
    }

    // The links go first: the scratch folder's clean-up cannot take them.
    void TearDown() override {
        for (const wchar_t* link : {L"linkedFolder", L"linkedFile", L"dangling"}) test::RemoveUnixLink(root_ / link);
    }

    ScratchFolder scratch_{L"no_follow"};
    fs::path root_;
};

// Every way into a link is refused with the link's error, and the target keeps
// what it had: no file written, emptied or made there.
TEST_F(NoFollowWrite, RefusesEveryLinkAndLeavesItsTargetAlone) {
    const struct {
        const char* name;
        std::function<DWORD()> write;
    } cases[] = {
        {"file link",
         [&] {
             DWORD error = 0;
             EXPECT_FALSE(WriteFileNoFollow(root_ / L"linkedFile", "product", error));
             return error;
         }},
        {"dangling file link",
         [&] {
             DWORD error = 0;
             EXPECT_FALSE(WriteFileNoFollow(root_ / L"dangling", "product", error));
             return error;
         }},
        {"file below a folder link",
         [&] {
             DWORD error = 0;
             EXPECT_FALSE(WriteFileNoFollow(root_ / L"linkedFolder" / L"system.dll", "product", error));
             return error;
         }},
        {"copy onto a file link",
         [&] {
             WriteFile(root_ / L"source.dll", "product");
             DWORD error = 0;
             EXPECT_FALSE(CopyFileNoFollow(root_ / L"source.dll", root_ / L"linkedFile", error));
             return error;
         }},
        {"folder link",
         [&] {
             UniqueKernelHandle held;
             DWORD error = 0;
             EXPECT_FALSE(CreateFolderNoFollow(root_ / L"linkedFolder", nullptr, held, nullptr, error));
             EXPECT_FALSE(held);
             return error;
         }},
        {"folder chain through a link",
         [&] {
             std::vector<UniqueKernelHandle> held;
             fs::path failedAt;
             DWORD error = 0;
             EXPECT_FALSE(
                 CreateFoldersNoFollow(root_, root_ / L"linkedFolder" / L"sub" / L"deeper", held, failedAt, error));
             EXPECT_EQ(failedAt, root_ / L"linkedFolder");
             return error;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.write(), kLinkInTheWay);
        EXPECT_EQ(ReadFile(root_ / L"victim" / L"system.dll"), "system's");
        std::vector<fs::path> inVictim;
        for (const auto& entry : fs::directory_iterator(root_ / L"victim")) inVictim.push_back(entry.path());
        EXPECT_EQ(inVictim, std::vector<fs::path>{root_ / L"victim" / L"system.dll"});
    }
}

TEST_F(NoFollowWrite, PlainFoldersAndFilesAreWrittenAsBefore) {
    std::vector<UniqueKernelHandle> held;
    fs::path failedAt;
    DWORD error = 0;
    ASSERT_TRUE(CreateFoldersNoFollow(root_, root_ / L"App" / L"データ", held, failedAt, error)) << error;
    EXPECT_EQ(held.size(), 2u) << "each folder of the chain is held";
    EXPECT_TRUE(CreateFoldersNoFollow(root_, root_ / L"App" / L"データ", held, failedAt, error))
        << "folders already there are opened";

    const fs::path file = root_ / L"App" / L"データ" / L"a.dat";
    ASSERT_TRUE(WriteFileNoFollow(file, "a longer first text", error)) << error;
    ASSERT_TRUE(WriteFileNoFollow(file, "short", error)) << error;
    EXPECT_EQ(ReadFile(file), "short") << "an existing file is emptied first";

    WriteFile(root_ / L"source.bin", std::string(3u << 20, 'x'));
    ASSERT_TRUE(CopyFileNoFollow(root_ / L"source.bin", root_ / L"App" / L"copy.bin", error)) << error;
    EXPECT_EQ(ReadFile(root_ / L"App" / L"copy.bin"), std::string(3u << 20, 'x'));

    // As a replacing create: a hidden file in the way is not written.
    const fs::path hidden = root_ / L"App" / L"hidden.dat";
    WriteFile(hidden, "kept");
    ASSERT_TRUE(::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(WriteFileNoFollow(hidden, "product", error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFile(hidden), "kept");

    // A file where a folder goes.
    UniqueKernelHandle folder;
    EXPECT_FALSE(CreateFolderNoFollow(file, nullptr, folder, nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DIRECTORY));
}

}  // namespace
}  // namespace zel
