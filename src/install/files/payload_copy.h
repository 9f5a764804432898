// Writes the payload files that [Files] selects from the mapped payload into the
// install folder, reporting each file and the progress, after the whole
// payload's files were checked against their digests.
#pragma once

#include <string>
#include <vector>

#include "run/install_plan.h"
#include "run/run_reporter.h"

namespace zel {

// The check a run makes before it creates anything: every product file of the
// payload (what the copy and the system-folder step write from) is compared
// with its digest. False, with the first damaged file in walk order logged,
// when one differs (a damaged setup.exe); nothing is written either way.
bool CheckPayloadFiles(const InstallPlan& plan, RunReporter& reporter);

// True when at least one file was selected and every selected file was copied.
// False, with the reason logged, when a product entry's name would leave the
// install folder (a changed setup.exe; nothing is written), the payload has no
// files folder, nothing is selected, or a file's block does not decode (a
// changed setup.exe whose digests were made again, or one without digests; the
// files before it stay). The caller has checked the payload with
// CheckPayloadFiles first. Other failures throw std::filesystem::filesystem_error.
// copiedFiles (may be null) receives the copied files relative to the install
// folder, "\" separated, in copy order.
bool CopyPayloadFiles(const InstallPlan& plan, RunReporter& reporter, std::vector<std::wstring>* copiedFiles);

}  // namespace zel
