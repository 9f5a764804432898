// What the wizard keeps while it is shown: its window, page, fonts and licence
// state, the reporter its runs report to, and the install plan it runs. Owned by
// the run driver, lent to the dialog as its creation parameter.
#pragma once

#include <windows.h>

#include <string>

#include "run/install_plan.h"
#include "run/run_reporter.h"
#include "ui/wizard_pages.h"

namespace zel {

struct WizardState {
    InstallPlan plan;
    HWND hwnd = nullptr;
    WizardPage page = Welcome;
    HFONT titleFont = nullptr;  // the dialog's own, deleted when it closes
    HFONT subtitleFont = nullptr;
    std::wstring licenseText;
    bool licenseAccepted = false;
    // Where the install run's log, progress and outcome and the wizard's own
    // message boxes go; set before the wizard is shown.
    RunReporter* reporter = nullptr;
};

}  // namespace zel
