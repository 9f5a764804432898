// Steps through the wizard shared by the wizard, maintenance and install tests.
#pragma once

#include <windows.h>

#include <string>

#include "automation/process.h"
#include "automation/wait.h"

namespace zel::e2e {

// Control ids of the wizard (dialog 101) and the maintenance dialog (102).
inline constexpr int kTitle = 1001, kSubtitle = 1002, kPathLabel = 1003, kPathEdit = 1004, kBrowse = 1005,
                     kProgress = 1006, kLog = 1007, kBack = 1008, kNext = 1009, kCancel = 1010, kLicenseText = 1011,
                     kAccept = 1012;
inline constexpr int kRepair = 1020, kUninstall = 1021, kContinue = 1022, kMaintCancel = 1023, kUpdate = 1024;

enum class WizardPage { Welcome, License, Destination, Progress, Finish };
enum class Mode { Install, Update, Repair };

std::string PageName(WizardPage page);
// The page title the wizard shows for the page in the mode.
std::wstring PageTitle(WizardPage page, Mode mode = Mode::Install);

// Waits until the wizard shows the page's title.
bool WaitForPage(HWND wizard, WizardPage page, Mode mode = Mode::Install,
                 std::chrono::milliseconds timeout = kWindowTimeout);
// Records a failure when the wizard does not show the page (title and visible controls).
void ExpectPage(HWND wizard, WizardPage page, Mode mode = Mode::Install);

bool GoNext(HWND wizard, WizardPage expected);
bool GoBack(HWND wizard, WizardPage expected);
// Clicks the accept box until it has the wanted state.
bool SetAccepted(HWND wizard, bool accepted);

// Escape (keyboard and IDCANCEL) and the close box leave the window open on the page.
void ExpectStaysOpen(const Process& process, HWND window, WizardPage page, Mode mode = Mode::Install);
// The same for the maintenance dialog.
void ExpectMaintenanceStaysOpen(const Process& process, HWND dialog);

// Welcome -> License (accepted) -> Destination, types the folder and presses Install.
bool StartInstall(HWND wizard, const std::wstring& folder);

}  // namespace zel::e2e
