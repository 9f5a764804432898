#include "sample_install.h"

#include <shlobj.h>

#include "automation/registry.h"
#include "automation/shell.h"

namespace zel::e2e {

namespace fs = std::filesystem;

fs::path SystemFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? fs::path(std::wstring(buffer, length)) : fs::path();
}

std::vector<std::wstring> ManifestLines(const Bytes& bytes) {
    std::vector<std::wstring> lines;
    std::size_t start = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        lines.push_back(FromUtf8(std::string(bytes.begin() + start, bytes.begin() + end)));
        start = end + 1;
    }
    return lines;
}

void SampleInstallTest::SetUp() {
    E2eTest::SetUp();
    if (IsSkipped()) return;
    installDir_ = scratch_ / L"インストール先 テスト";
    desktopLink_ = KnownFolder(FOLDERID_Desktop) / (Sample().shortcutName + L".lnk");
    startMenuGroup_ = KnownFolder(FOLDERID_Programs) / Sample().startMenuGroupName;
    systemDll_ = SystemFolder() / kComDllName;
    RemoveTracesOutsideTheFolder();
}

void SampleInstallTest::TearDown() {
    if (!installDir_.empty()) RemoveTracesOutsideTheFolder();
    E2eTest::TearDown();
}

void SampleInstallTest::RemoveTracesOutsideTheFolder() {
    std::error_code error;
    // Wine's Desktop is the user's home folder: whatever a test puts there must go.
    fs::remove(desktopLink_, error);
    RemoveTree(startMenuGroup_);
    ::SetFileAttributesW(systemDll_.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(systemDll_, error);
    // Its reference count too: a count left by an earlier test would make the
    // next install count on top of it.
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                         systemDll_.c_str());
    DeleteMachineKey(kComTestKey);
    // The installer's own record of the system manifests, kept per install folder.
    DeleteMachineKey(L"SOFTWARE\\ZelSetup\\SystemManifests");
}

bool SampleInstallTest::WaitForFinish(const Process& setup, HWND wizard, Mode mode) {
    const bool finished = WaitForPage(wizard, WizardPage::Finish, mode, kInstallTimeout);
    if (!finished) {
        Snap(nullptr, L"not_finished");
        ADD_FAILURE() << "no Finish page; title " << U8(ControlText(wizard, kTitle)) << ", log:\n"
                      << U8(ControlText(wizard, kLog))
                      << (FindProcessWindow(setup.id(), WindowKind::MessageBox) ? "\n(a message box is open)" : "");
    }
    return finished;
}

bool SampleInstallTest::InstallThroughWizard() {
    Process setup = StartProcess(GetInputs().setupExe, {});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"install_welcome");
    if (!wizard || !StartInstall(wizard, installDir_.wstring()) || !WaitForFinish(setup, wizard, Mode::Install))
        return false;
    Click(wizard, kNext);
    const bool ended = ExitCode(setup) == std::optional<DWORD>(0);
    EXPECT_TRUE(ended) << "setup.exe did not end with 0 after Finish";
    return ended;
}

}  // namespace zel::e2e
