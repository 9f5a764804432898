#include "uninstall/self_removal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "util/unique_handle.h"
#include "windows/uninstall/uninstall_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::TempFolder;
using test::WriteFile;

bool WaitUntilGone(const fs::path& file, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (Exists(file)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Runs program with arguments in folder (also its current folder) and waits for it.
DWORD RunIn(const fs::path& program, const std::wstring& arguments, const fs::path& folder) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    UniqueProcessInformation process;
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, process.put())) {
        ADD_FAILURE() << "cannot start the probe: " << GetLastError();
        return ~0u;
    }
    WaitForSingleObject(process.process(), 30000);
    DWORD code = ~0u;
    GetExitCodeProcess(process.process(), &code);
    return code;
}

// /d: the interpreter runs elevated, and the AutoRun commands of the user's
// registry (which Wine's cmd does not run) must not run with it. /v:off: a "!"
// in the path stays literal whatever the registry says.
TEST(SelfRemoval, CommandLineSkipsAutoRunTurnsDelayedExpansionOffAndQuotesThePath) {
    EXPECT_EQ(SelfRemovalCommandLine(L"C:\\Program Files\\My App!\\Uninstall.exe"),
              L"cmd.exe /d /v:off /c ping 127.0.0.1 -n 2 >nul & del /f /q \"C:\\Program Files\\My "
              L"App!\\Uninstall.exe\"");
}

TEST(SelfRemoval, DeletesAReadOnlyFileWithBlanksInItsPathShortlyAfter) {
    TempFolder folder;
    const fs::path file = folder / L"My App 1.0\\Uninstall.exe";
    WriteFile(file);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);

    StartSelfRemoval(file);

    EXPECT_TRUE(WaitUntilGone(file, std::chrono::seconds(10)));
    EXPECT_TRUE(Exists(folder / L"My App 1.0"));
}

// cmd expands %NAME% even inside quotes, so "del" would miss a file in
// C:\...\x%WINDIR%y: such a file is left to the next restart instead.
TEST(SelfRemoval, PathWithPercentIsDeletedAtTheNextRestart) {
    TempFolder folder;
    const fs::path file = folder / L"x%WINDIR%y\\Uninstall.exe";
    WriteFile(file);
    EXPECT_TRUE(SelfRemovalNeedsRestart(file));
    EXPECT_FALSE(SelfRemovalNeedsRestart(folder / L"My App 100!\\Uninstall.exe"));

    StartSelfRemoval(file);

    const std::vector<std::wstring> pending = test::PendingRestartOperations();
    EXPECT_NE(std::find(pending.begin(), pending.end(), L"\\??\\" + file.wstring()), pending.end());
}

// The uninstaller's folder may be writable by ordinary users: a cmd.exe or
// ping.exe planted there must not run with the uninstaller's rights.
class PlantedInterpreter : public testing::Test {
protected:
    void SetUp() override {
        installDir_ = folder_ / L"Program Files\\My App";
        fs::create_directories(installDir_);
        const fs::path helpers = test::TestProgramFolder();
        fs::copy_file(helpers / L"uninstall_self_removal_probe.exe", installDir_ / L"Uninstall.exe");
        for (const wchar_t* name : {L"cmd.exe", L"ping.exe", L"ping.com", L"ping.bat"}) {
            fs::copy_file(helpers / L"uninstall_fake_cmd.exe", installDir_ / name);
        }
    }
    bool AnyPlantedProgramRan() const {
        for (const wchar_t* name : {L"cmd.exe", L"ping.exe", L"ping.com", L"ping.bat"}) {
            if (Exists(installDir_ / (std::wstring(name) + L".ran"))) return true;
        }
        return false;
    }

    TempFolder folder_;
    fs::path installDir_;
};

TEST_F(PlantedInterpreter, WouldBeFoundByABareName) {
    // Shows that the fixture catches the unsafe start: a bare "cmd.exe" picks
    // the planted one from the program's own folder.
    ASSERT_EQ(RunIn(installDir_ / L"Uninstall.exe", L"bare", installDir_), 0u);
    EXPECT_TRUE(Exists(installDir_ / L"cmd.exe.ran"));
}

TEST_F(PlantedInterpreter, IsNotRunByTheSelfRemoval) {
    const fs::path uninstaller = installDir_ / L"Uninstall.exe";
    ASSERT_EQ(RunIn(uninstaller, L"self", installDir_), 0u);

    EXPECT_TRUE(WaitUntilGone(uninstaller, std::chrono::seconds(10)));
    EXPECT_FALSE(AnyPlantedProgramRan());
}

}  // namespace
}  // namespace zel
