#include "e2e_fixture.h"

#include <windows.h>

#include "automation/registry.h"
#include "automation/screenshot.h"

namespace zel::e2e {

namespace fs = std::filesystem;

namespace {

fs::path EnvPath(const wchar_t* name) {
    wchar_t value[32768] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? fs::path(value) : fs::path();
}

std::wstring ReadSetupValue(const fs::path& ini, const wchar_t* key, const std::wstring& fallback) {
    wchar_t value[512] = {};
    ::GetPrivateProfileStringW(L"Setup", key, fallback.c_str(), value, 512, ini.c_str());
    return value;
}

}  // namespace

const Inputs& GetInputs() {
    static const Inputs inputs{EnvPath(L"ZEL_SETUP_EXE"), EnvPath(L"ZEL_STUB_EXE"), EnvPath(L"ZEL_BUILDER_EXE"),
                               EnvPath(L"ZEL_SAMPLE_DIR")};
    return inputs;
}

const SampleSettings& Sample() {
    static const SampleSettings settings = [] {
        const fs::path ini = GetInputs().sampleDir / L"setup.ini";
        SampleSettings s;
        s.appName = ReadSetupValue(ini, L"AppName", L"アプリケーション");
        s.appVersion = ReadSetupValue(ini, L"AppVersion", L"1.0.0");
        s.programsDisplayName = ReadSetupValue(ini, L"ProgramsDisplayName", s.appName);
        s.displayVersion = ReadSetupValue(ini, L"DisplayVersion", s.appVersion);
        s.publisher = ReadSetupValue(ini, L"Publisher", L"ZelSetup");
        s.supportUrl = ReadSetupValue(ini, L"SupportUrl", L"");
        s.helpUrl = ReadSetupValue(ini, L"HelpUrl", L"");
        s.defaultInstallDir = ReadSetupValue(ini, L"DefaultInstallDir", L"C:\\Program Files\\アプリケーション");
        s.shortcutName = ReadSetupValue(ini, L"ShortcutName", s.appName);
        s.startMenuGroupName = ReadSetupValue(ini, L"StartMenuGroupName", s.appName);
        return s;
    }();
    return settings;
}

std::wstring TempFolderNameAt(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME t{};
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &t);
    wchar_t text[64];
    swprintf(text, 64, L"ZelSetup_%04u%02u%02u_%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::vector<std::filesystem::path> SetupTempFolders() {
    std::vector<std::filesystem::path> folders;
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    for (std::filesystem::directory_iterator it(temp, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().wstring().rfind(L"ZelSetup_", 0) == 0) folders.push_back(it->path());
    }
    return folders;
}

std::wstring CurrentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info) return L"unknown";
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    return std::wstring(name.begin(), name.end());  // gtest names are ASCII
}

std::string U8(const std::wstring& text) {
    const Bytes bytes = Utf8Bytes(text);
    return std::string(bytes.begin(), bytes.end());
}

void E2eTest::SetUp() {
    const Inputs& inputs = GetInputs();
    if (inputs.setupExe.empty() || inputs.stubExe.empty() || inputs.sampleDir.empty())
        GTEST_SKIP() << "ZEL_SETUP_EXE, ZEL_STUB_EXE and ZEL_SAMPLE_DIR must be set (scripts/run-e2e.sh sets them)";
    RemoveSampleRegistrations();
    std::wstring name = CurrentTestName();
    for (wchar_t& c : name) {
        if (c == L'/') c = L'_';
    }
    scratch_ = MakeScratchFolder(name);
}

void E2eTest::TearDown() {
    RemoveSampleRegistrations();
    if (!scratch_.empty()) RemoveTree(scratch_);
}

void E2eTest::Snap(HWND window, const std::wstring& step) {
    // Give the other process a moment to paint what the step changed.
    if (window) Settle(window, 200ms);
    SaveScreenshot(window, CurrentTestName() + L"_" + step);
}

HWND E2eTest::Expect(const Process& process, WindowKind kind, const std::wstring& step) {
    HWND window = WaitForProcessWindow(process.id(), kind);
    if (!window) {
        Snap(nullptr, step + L"_timeout");
        std::string seen;
        for (HWND other : ProcessWindows(process.id())) {
            seen += std::string(" ") + WindowKindName(ClassifyWindow(other));
        }
        ADD_FAILURE() << "no " << WindowKindName(kind) << " appeared; process "
                      << (process.IsRunning() ? "running" : "ended") << ", windows:" << (seen.empty() ? " none" : seen);
        return nullptr;
    }
    Snap(window, step);
    return window;
}

MessageBoxContent E2eTest::AnswerBox(HWND box, int button, const std::wstring& step) {
    Settle(box, 200ms);
    MessageBoxContent content = ReadMessageBox(box);
    SaveScreenshot(box, CurrentTestName() + L"_" + step);
    Click(box, button);
    EXPECT_TRUE(WaitForWindowClosed(box)) << "the message box stayed open";
    return content;
}

BoxOutcome E2eTest::RunToMessageBox(const fs::path& exe, const std::vector<std::wstring>& arguments,
                                    const std::wstring& step) {
    BoxOutcome outcome;
    std::wstring error;
    Process process = StartProcess(exe, arguments, &error);
    if (!process) {
        ADD_FAILURE() << "cannot start: " << ::testing::PrintToString(error);
        return outcome;
    }
    HWND box = Expect(process, WindowKind::MessageBox, step);
    if (!box) return outcome;
    outcome.boxShown = true;
    outcome.box = AnswerBox(box, IDOK, step);
    outcome.exitCode = ExitCode(process);
    return outcome;
}

std::optional<DWORD> E2eTest::ExitCode(const Process& process, std::chrono::milliseconds timeout) {
    return process.Wait(timeout);
}

void E2eTest::RemoveSampleRegistrations() {
    for (const std::wstring& key : KeysOfProduct(Sample().appName)) DeleteUninstallKey(key);
}

}  // namespace zel::e2e
