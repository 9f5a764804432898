// The start-up steps both roads share: the payload, setup.ini and the licence,
// and the search for an installed copy of the product.
#pragma once

#include <string>
#include <vector>

#include "install/registration/installed_product.h"
#include "install/setup_context.h"
#include "run/run_reporter.h"

namespace zel {

// The whole command line split as CommandLineToArgvW does, program path first;
// empty when it cannot be split (setup mode then runs).
std::vector<std::wstring> CommandLineArguments();

// Reads and extracts the payload, loads setup.ini and the licence text. False
// after reporting the failure (error, with its start-up title).
bool PrepareSetup(SetupContext& context, RunReporter& reporter);

// An Uninstall key of this product whose install folder is still there. A key
// whose folder is gone is disregarded: a plain install then runs.
bool FindExistingInstallation(const std::wstring& appName, InstalledProduct& product);

}  // namespace zel
