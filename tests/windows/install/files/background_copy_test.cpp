#include "install/files/background_copy.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/scratch_folder.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class BackgroundFileCopyTest : public ::testing::Test {
protected:
    BackgroundFileCopyTest() : folder_(L"background_copy") {
        WriteFile(source_, std::string(3 * 1024 * 1024, 's') + "end");
    }

    test::ScratchFolder folder_;
    const fs::path source_ = folder_.path() / L"setup.exe";
    const fs::path draft_ = folder_.path() / L"Uninstall.exe.1-0.tmp";
    const fs::path target_ = folder_.path() / L"Uninstall.exe";
};

TEST_F(BackgroundFileCopyTest, FinishPutsTheCopyInPlaceOverAnEarlierOne) {
    WriteFile(target_, "an earlier Uninstall.exe");
    {
        BackgroundFileCopy copy(source_, draft_, target_);
        EXPECT_TRUE(copy.Finish());
        EXPECT_FALSE(fs::exists(draft_));
    }
    EXPECT_EQ(ReadFile(target_), ReadFile(source_));
    EXPECT_FALSE(fs::exists(draft_));
}

// A run that stops before the copy's turn: the draft goes, and whatever the
// target was stays as it was.
TEST_F(BackgroundFileCopyTest, WithoutFinishTheDraftIsRemovedAndTheTargetUntouched) {
    for (const bool targetThere : {false, true}) {
        SCOPED_TRACE(targetThere);
        if (targetThere) WriteFile(target_, "an earlier Uninstall.exe");
        { BackgroundFileCopy copy(source_, draft_, target_); }
        EXPECT_FALSE(fs::exists(draft_));
        EXPECT_EQ(fs::exists(target_), targetThere);
        if (targetThere) {
            EXPECT_EQ(ReadFile(target_), "an earlier Uninstall.exe");
        }
    }
}

// A file already at the draft's name is not ours: it is neither overwritten
// nor removed, and Finish still copies, straight onto the target.
TEST_F(BackgroundFileCopyTest, AFileAtTheDraftNameIsLeftAloneAndTheCopyStillArrives) {
    WriteFile(draft_, "not ours");
    {
        BackgroundFileCopy copy(source_, draft_, target_);
        EXPECT_TRUE(copy.Finish());
    }
    EXPECT_EQ(ReadFile(draft_), "not ours");
    EXPECT_EQ(ReadFile(target_), ReadFile(source_));
}

// The cases where the copy cannot arrive: Finish says so and leaves no draft.
TEST_F(BackgroundFileCopyTest, FinishFailsWhereNoCopyCanArriveAndLeavesNoDraft) {
    // A source that does not exist.
    {
        BackgroundFileCopy copy(folder_.path() / L"missing.exe", draft_, target_);
        EXPECT_FALSE(copy.Finish());
    }
    EXPECT_FALSE(fs::exists(draft_));
    EXPECT_FALSE(fs::exists(target_));

    // A target held open without sharing, as a running Uninstall.exe is.
    WriteFile(target_, "in use");
    {
        UniqueKernelHandle lock(::CreateFileW(target_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        BackgroundFileCopy copy(source_, draft_, target_);
        EXPECT_FALSE(copy.Finish());
    }
    EXPECT_EQ(ReadFile(target_), "in use");
    EXPECT_FALSE(fs::exists(draft_));

    // A program copying itself onto its own file.
    {
        BackgroundFileCopy copy(source_, draft_, source_);
        EXPECT_FALSE(copy.Finish());
    }
    EXPECT_FALSE(fs::exists(draft_));
    EXPECT_EQ(fs::file_size(source_), 3u * 1024 * 1024 + 3);
}

}  // namespace
}  // namespace zel
