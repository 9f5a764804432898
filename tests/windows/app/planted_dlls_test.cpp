// A setup.exe started from a downloads folder must not load a Msftedit.dll or
// msimg32.dll that lies beside it. Copies of InstallerCore.exe run next to
// planted libraries that leave a marker file when loaded. Wine is told to prefer
// such files over its own libraries for these program names (its per-program
// DllOverrides, "native,builtin"), so it searches as Windows does; on Windows the
// setting is inert.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/scratch_folder.h"
#include "util/module_path.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

const std::vector<std::wstring> kPlantedNames = {L"Msftedit.dll", L"msimg32.dll"};
const std::vector<std::wstring> kProgramNames = {L"setup.exe", L"Uninstall.exe", L"probe.exe"};
constexpr wchar_t kWineAppDefaults[] = L"Software\\Wine\\AppDefaults\\";

// Wine reads its load order for a program from
// HKCU\Software\Wine\AppDefaults\<program>\DllOverrides when the program starts.
void SetNativeFirst(const std::wstring& program, bool enable) {
    const std::wstring path = kWineAppDefaults + program + L"\\DllOverrides";
    if (!enable) {
        ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, (kWineAppDefaults + program).c_str());
        return;
    }
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    constexpr wchar_t kNativeFirst[] = L"native,builtin";
    for (const wchar_t* library : {L"msftedit", L"msimg32"}) {
        ::RegSetValueExW(key, library, 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst), sizeof(kNativeFirst));
    }
    ::RegCloseKey(key);
}

fs::path TestProgramFolder() { return fs::path(OwnModulePath()).parent_path(); }

struct ProcessResult {
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::wstring> windowTitles;  // message boxes it showed, in order
};

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window)) search->windows.push_back(window);
    return TRUE;
}

// Runs the program with the given environment variables added, answering every
// message box with OK, and returns its exit code and the boxes' titles.
ProcessResult RunAndDismiss(const fs::path& program, const std::wstring& arguments,
                            const std::vector<std::pair<std::wstring, std::wstring>>& environment = {}) {
    for (const auto& [name, value] : environment) ::SetEnvironmentVariableW(name.c_str(), value.c_str());
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                          program.parent_path().c_str(), &startup, &info);
    for (const auto& [name, value] : environment) ::SetEnvironmentVariableW(name.c_str(), nullptr);
    ProcessResult result;
    if (!started) {
        ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
        return result;
    }
    ::CloseHandle(info.hThread);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::WaitForSingleObject(info.hProcess, 100) == WAIT_TIMEOUT) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the program did not end";
            ::TerminateProcess(info.hProcess, 99);
            ::WaitForSingleObject(info.hProcess, 5000);
            break;
        }
        WindowSearch search{info.dwProcessId, {}};
        ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
        for (HWND window : search.windows) {
            wchar_t title[256] = {};
            ::GetWindowTextW(window, title, 256);
            result.windowTitles.push_back(title);
            ::PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
        if (!search.windows.empty()) ::Sleep(300);  // let the box close before looking again
    }
    ::GetExitCodeProcess(info.hProcess, &result.exitCode);
    ::CloseHandle(info.hProcess);
    return result;
}

class PlantedDlls : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path planted = TestProgramFolder() / L"planted_dlls";
        for (const std::wstring& name : kPlantedNames) fs::copy_file(planted / name, folder_ / name);
        for (const std::wstring& program : kProgramNames) SetNativeFirst(program, true);
    }
    void TearDown() override {
        for (const std::wstring& program : kProgramNames) SetNativeFirst(program, false);
    }
    std::vector<std::wstring> LoadedPlants() const {
        std::vector<std::wstring> loaded;
        for (const std::wstring& name : kPlantedNames) {
            if (fs::exists(folder_ / (name + L".loaded"))) loaded.push_back(name);
        }
        return loaded;
    }
    test::ScratchFolder scratch_{L"planted"};
    const fs::path folder_ = scratch_.path();
};

// Run in a child process by the control test below: loads both libraries by name
// the unsafe way, as a program that does not restrict its search path would.
TEST(PlantedDllsProbe, LoadsByPlainName) {
    if (!::GetEnvironmentVariableW(L"ZEL_PLANTED_PROBE", nullptr, 0)) GTEST_SKIP() << "runs as a child only";
    for (const std::wstring& name : kPlantedNames) ::LoadLibraryW(name.c_str());
}

// The check itself must be able to see a planted library being loaded.
TEST_F(PlantedDlls, ControlPlainLoadLibraryIsCaught) {
    const fs::path probe = folder_ / L"probe.exe";
    fs::copy_file(OwnModulePath(), probe);
    const ProcessResult result =
        RunAndDismiss(probe, L"--gtest_filter=PlantedDllsProbe.LoadsByPlainName", {{L"ZEL_PLANTED_PROBE", L"1"}});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(LoadedPlants(), kPlantedNames);
}

TEST_F(PlantedDlls, SetupModeLoadsOnlySystemLibraries) {
    const fs::path setup = folder_ / L"setup.exe";
    fs::copy_file(TestProgramFolder().parent_path() / L"src" / L"app" / L"InstallerCore.exe", setup);
    // The bare InstallerCore.exe carries no payload: it gets past the rich-edit
    // library and stops at the payload check.
    const ProcessResult result = RunAndDismiss(setup, L"");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.windowTitles, std::vector<std::wstring>{L"無効なセットアップ"});
    EXPECT_TRUE(LoadedPlants().empty());
}

TEST_F(PlantedDlls, UninstallModeLoadsOnlySystemLibraries) {
    const fs::path uninstaller = folder_ / L"Uninstall.exe";
    fs::copy_file(TestProgramFolder().parent_path() / L"src" / L"app" / L"InstallerCore.exe", uninstaller);
    const ProcessResult result = RunAndDismiss(uninstaller, L"/uninstall {00000000-0000-0000-0000-00000000ZE15}");
    EXPECT_NE(result.exitCode, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(LoadedPlants().empty());
}

}  // namespace
}  // namespace zel
