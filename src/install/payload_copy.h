// Copies the payload files that [Files] selects from the extracted payload into
// the install folder, reporting each file and the progress.
#pragma once

#include <string>
#include <vector>

#include "install/run_reporter.h"
#include "install/setup_context.h"

namespace zel {

// True when at least one file was selected and every selected file was copied.
// False, with the reason logged, when the payload's files folder is missing or
// nothing is selected. Other failures throw std::filesystem::filesystem_error.
// copiedFiles (may be null) receives the copied files relative to the install
// folder, "\" separated, in copy order.
bool CopyPayloadFiles(SetupContext& context, RunReporter& reporter, std::vector<std::wstring>* copiedFiles);

}  // namespace zel
