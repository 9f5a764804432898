// The one call the wizard makes outside the dialog: the install run. Tests
// replace it to observe the call without running an install.
#pragma once

#include "run/install_plan.h"
#include "run/run_reporter.h"

namespace zel {

struct WizardActions {
    bool (*runInstall)(InstallPlan& plan, RunReporter& reporter);
};

// The actions in use; by default RunInstall.
WizardActions& GetWizardActions();

}  // namespace zel
