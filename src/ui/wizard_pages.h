// Page rules of the wizard and the maintenance dialog as plain data, so that they
// can be read and tested without a window. Portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "run/install_plan.h"

namespace zel {

enum WizardPage : std::int32_t {
    Welcome = 0,
    License = 1,
    Destination = 2,
    Progress = 3,
    Finish = 4,
};

// The page Next leads to from the first three pages (Welcome, License,
// Destination), once the page's own condition holds; the page itself where
// Next does not change the page (Destination starts the install, Progress
// retries it, Finish ends the wizard).
WizardPage NextPage(WizardPage page);
// The page Back leads to; the page itself where Back goes nowhere.
WizardPage PreviousPage(WizardPage page);

// What ShowPage applies for one page in one mode.
struct PageLayout {
    bool known = false;  // false for a page value outside Welcome..Finish: texts and buttons stay as they are
    std::wstring title;
    std::wstring subtitle;
    bool backEnabled = false;
    bool nextEnabled = false;
    std::optional<std::wstring> nextCaption;  // nullopt: the caption is not touched
    bool showDestination = false;             // 1003 label, 1004 path, 1005 Browse
    bool showLicense = false;                 // 1011 licence text, 1012 accept box
    bool showProgress = false;                // 1006 progress bar, 1007 log
    int focusId = 0;                          // control that takes the focus; 0: focus not moved
};

PageLayout GetPageLayout(std::int32_t page, InstallMode mode, const std::wstring& appName, bool licenseAccepted);

// The text of the maintenance dialog's message control; the version lines appear
// only when the installed version is known.
std::wstring MaintenanceMessage(const std::wstring& installedVersion, const std::wstring& setupVersion,
                                const std::wstring& installLocation);

// Id of the radio button selected when the maintenance dialog opens.
int MaintenanceDefaultChoice(bool updateAvailable);

// How the maintenance dialog ends: the result of DialogBoxParamW.
enum MaintenanceResult : std::intptr_t {
    kMaintenanceCancel = 0,
    kMaintenanceRepair = 1,
    kMaintenanceUninstall = 2,
    kMaintenanceUpdate = 3
};

// End code of the maintenance dialog for 続行: Update, else Repair, else Uninstall.
MaintenanceResult MaintenanceContinueResult(bool updateChecked, bool repairChecked);

}  // namespace zel
