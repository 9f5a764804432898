// The search for an installed copy of the product at start-up, against the
// real registry (64-bit view).
#include "app/startup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/scratch_folder.h"
#include "install/registration/uninstall_entry.h"
#include "windows/recording_reporter.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

// Listed in this order: a key left from an earlier installation can stand in
// front of the live one.
constexpr wchar_t kStaleKey[] = L"{D0D0D0D0-0000-4000-8000-000000000021}";
constexpr wchar_t kLiveKey[] = L"{D0D0D0D0-0000-4000-8000-000000000022}";

class FindExistingInstallationTest : public ::testing::Test {
protected:
    FindExistingInstallationTest() {
        config_.AppName = L"Zel Startup Test " + std::to_wstring(::GetCurrentProcessId());
    }
    ~FindExistingInstallationTest() override {
        for (const wchar_t* key : {kStaleKey, kLiveKey}) DeleteUninstallEntry(key);
    }
    void Register(const wchar_t* key, const fs::path& folder) {
        ASSERT_TRUE(RegisterUninstallEntry(folder.wstring(), (folder / L"Uninstall.exe").wstring(), config_, key, 1));
    }

    test::ScratchFolder folder_{L"startup"};
    SetupConfig config_;
    test::RecordingReporter reporter_;
};

TEST_F(FindExistingInstallationTest, PassesOverAStaleKeyToTheLiveOne) {
    InstalledProduct product;
    EXPECT_FALSE(FindExistingInstallation(config_.AppName, L"", product, reporter_)) << "nothing registered";

    Register(kStaleKey, folder_.path() / L"gone");
    EXPECT_FALSE(FindExistingInstallation(config_.AppName, L"", product, reporter_)) << "only a stale key";

    const fs::path live = folder_.path() / L"Zel";
    fs::create_directories(live);
    Register(kLiveKey, live);
    ASSERT_TRUE(FindExistingInstallation(config_.AppName, L"D:\\Elsewhere", product, reporter_));
    EXPECT_EQ(product.keyName, kLiveKey);
    EXPECT_EQ(product.installLocation, live.wstring());
    ASSERT_EQ(reporter_.lines.size(), 1u);
    EXPECT_EQ(reporter_.lines[0],
              L"[情報] インストール済みの製品が見つかったため、/dir の指定を無視します: D:\\Elsewhere");
}

}  // namespace
}  // namespace zel
