// What every end-to-end test shares: the inputs named by the environment, the
// sample product's own settings, a scratch folder, screenshots, and the common
// moves (start setup.exe, wait for a window, answer a message box).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "automation/files.h"
#include "automation/message_box.h"
#include "automation/process.h"
#include "automation/ui.h"

namespace zel::e2e {

struct Inputs {
    std::filesystem::path setupExe;    // ZEL_SETUP_EXE: the sample setup.exe
    std::filesystem::path stubExe;     // ZEL_STUB_EXE: InstallerCore.exe without payload
    std::filesystem::path builderExe;  // ZEL_BUILDER_EXE: InstallerBuilder.exe for Windows
    std::filesystem::path sampleDir;   // ZEL_SAMPLE_DIR: the sample product folder
};

const Inputs& GetInputs();

// [Setup] values of the sample product, read from its setup.ini.
struct SampleSettings {
    std::wstring appName;
    std::wstring appVersion;
    std::wstring programsDisplayName;
    std::wstring displayVersion;
    std::wstring publisher;
    std::wstring supportUrl;
    std::wstring helpUrl;
    std::wstring defaultInstallDir;
    std::wstring shortcutName;
    std::wstring startMenuGroupName;
};

const SampleSettings& Sample();

// The name setup.exe gives its extraction folder at a moment (UTC file time):
// "ZelSetup_" + the local date and time, zero-padded.
std::wstring TempFolderNameAt(const FILETIME& utc);

// The ZelSetup_ entries in the temp folder.
std::vector<std::filesystem::path> SetupTempFolders();

// "suite.test" of the running test, usable in file names.
std::wstring CurrentTestName();

// UTF-8 for comparisons whose failure messages a person should be able to read.
std::string U8(const std::wstring& text);

// The outcome of a start that ends with one message box.
struct BoxOutcome {
    bool boxShown = false;
    MessageBoxContent box;
    std::optional<DWORD> exitCode;
};

class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Screenshot named after the test and the step (null window: whole screen).
    void Snap(HWND window, const std::wstring& step);

    // Waits for a window of the kind; on timeout records a failure with what is
    // on the screen and returns null.
    HWND Expect(const Process& process, WindowKind kind, const std::wstring& step);

    // Reads the box, saves its picture, presses the given button and waits for the box to go.
    MessageBoxContent AnswerBox(HWND box, int button, const std::wstring& step);

    // Starts the program, expects a message box, answers it with OK and waits for the exit.
    BoxOutcome RunToMessageBox(const std::filesystem::path& exe, const std::vector<std::wstring>& arguments,
                               const std::wstring& step);

    // Waits for the exit; the code, or nothing after the timeout.
    std::optional<DWORD> ExitCode(const Process& process, std::chrono::milliseconds timeout = kWindowTimeout);

    // Removes every Uninstall key that names the sample product.
    void RemoveSampleRegistrations();

    std::filesystem::path scratch_;
};

}  // namespace zel::e2e
