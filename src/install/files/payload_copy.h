// Writes the payload files that [Files] selects from the mapped payload into the
// install folder, each checked against its digest, reporting each file and the
// progress.
#pragma once

#include <string>
#include <vector>

#include "run/install_plan.h"
#include "run/run_reporter.h"

namespace zel {

// True when at least one file was selected and every selected file was copied.
// False, with the reason logged, when a product entry's name would leave the
// install folder (a changed setup.exe; nothing is written), the payload has no
// files folder, nothing is selected, or a file differs from its digest (a
// damaged setup.exe; the files before it stay). Other failures throw std::filesystem::filesystem_error.
// copiedFiles (may be null) receives the copied files relative to the install
// folder, "\" separated, in copy order.
bool CopyPayloadFiles(const InstallPlan& plan, RunReporter& reporter, std::vector<std::wstring>* copiedFiles);

}  // namespace zel
