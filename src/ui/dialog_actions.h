// The one call the wizard makes outside the dialog: the install run. Tests
// replace it to observe the call without running an install.
#pragma once

#include "install/setup_context.h"
#include "run/run_reporter.h"

namespace zel {

struct WizardActions {
    bool (*runInstall)(SetupContext& context, RunReporter& reporter);
};

// The actions in use; by default RunInstall.
WizardActions& GetWizardActions();

}  // namespace zel
