// The sample product installed through the wizard, which the install and the
// uninstall tests start from, and what such an install leaves outside its
// folder: shortcuts, the library in the system folder and its registration.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "wizard_steps.h"

namespace zel::e2e {

// The sample's [System32RegSvr] library and the key its DllRegisterServer writes
// ("<file name>"="registered"; DllUnregisterServer appends "<file name>;" to
// "UnregisterOrder").
inline constexpr wchar_t kComDllName[] = L"ZelSampleCom.dll";
inline constexpr wchar_t kComTestKey[] = L"Software\\ZelSetupTest";

// The folder GetSystemDirectoryW reports, spelt as the system spells it.
std::filesystem::path SystemFolder();

// The lines of a manifest (UTF-8 with a byte-order mark, LF endings).
std::vector<std::wstring> ManifestLines(const Bytes& bytes);

class SampleInstallTest : public E2eTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Shortcuts, the system-folder library and its registry key, from earlier runs or this one.
    void RemoveTracesOutsideTheFolder();

    // Waits for the Finish page of the mode; false with the screen saved otherwise.
    bool WaitForFinish(const Process& setup, HWND wizard, Mode mode);

    // The whole fresh install into installDir_ through the wizard, ended with the Finish button.
    bool InstallThroughWizard();

    std::filesystem::path installDir_;
    std::filesystem::path desktopLink_;
    std::filesystem::path startMenuGroup_;
    std::filesystem::path systemDll_;
};

}  // namespace zel::e2e
