// The start-up steps both roads share: the payload, setup.ini and the licence,
// and the search for an installed copy of the product.
#pragma once

#include <string>
#include <vector>

#include "install/registration/installed_product.h"
#include "run/install_plan.h"
#include "run/run_reporter.h"

namespace zel {

// The whole command line split as CommandLineToArgvW does, program path first;
// empty when it cannot be split (setup mode then runs).
std::vector<std::wstring> CommandLineArguments();

// Reads the payload, extracts what start-up reads, loads setup.ini into the plan
// (its install folder: DefaultInstallDir, its variables expanded) and the
// licence text. False after reporting the failure (error, with its start-up
// title).
bool PrepareSetup(InstallPlan& plan, std::wstring& licenseText, RunReporter& reporter);

// The first Uninstall key of this product whose install folder is still there.
// Keys whose folder is gone are disregarded: with no other, a plain install
// runs. When one is found, a /dir folder the command line gave (dirArgument, as
// typed) is not used, and the log says so.
bool FindExistingInstallation(const std::wstring& appName, const std::wstring& dirArgument, InstalledProduct& product,
                              RunReporter& reporter);

// Update or Repair over the installation found, as a person or the unattended
// rule chose: the run installs into its folder and registers again under its key.
void PlanMaintenance(InstallPlan& plan, const InstalledProduct& product, InstallMode mode);

}  // namespace zel
