// The install run: installs, updates or repairs the product.
#pragma once

#include "run/install_plan.h"
#include "run/run_reporter.h"

namespace zel {

// Runs the whole install into plan.installDir, reporting its log, progress,
// failure message and outcome to the reporter. True when the product is
// installed; false after a fatal step, which may be run again.
bool RunInstall(InstallPlan& plan, RunReporter& reporter);

}  // namespace zel
