// The uninstall run.
#pragma once

#include <string>

#include "run/run_reporter.h"

namespace zel {

enum class UninstallResult {
    Removed,        // the product was removed (warnings may have been shown)
    Declined,       // the user answered No to the confirmation
    InvalidKey,     // the key is empty once blanks, tabs and quotes are stripped
    NotRegistered,  // no Uninstall key of that name
    Failed,         // the key holds no usable InstallLocation, the install folder or
                    // its install_manifest.txt cannot be read (nothing is changed and
                    // the key stays, so that the uninstall can be run again), or
                    // files remain that could not be deleted nor scheduled for
                    // deletion at restart

    // Removed, but files held open are deleted only at the next restart.
    RemovedAtRestart,
};

// Removes the product registered under the key, asking and telling through the
// reporter.
UninstallResult RunUninstall(const std::wstring& productKey, RunReporter& reporter);

// Strips blanks, tabs and quotes at both ends and adds missing braces.
std::wstring NormalizeProductKey(std::wstring key);

}  // namespace zel
