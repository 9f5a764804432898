// The steps of the uninstall run, each callable on its own so that they can be
// exercised on real folders and registry keys.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run/run_reporter.h"
#include "uninstall/uninstall_run.h"

namespace zel {

struct UninstallOptions {
    // Empty: the module's own file name.
    std::filesystem::path ownPath;
    // Empty: the current user's Desktop and Start-menu Programs known folders.
    std::filesystem::path desktopFolder;
    std::filesystem::path programsFolder;
};

// The whole run with a replaceable own path and shortcut folders.
UninstallResult RunUninstall(const std::wstring& productKey, RunReporter& reporter, const UninstallOptions& options);

// The canonical form of a path, or an empty path when it cannot be brought to
// one. A relative path has none: nothing is resolved against the current folder.
std::filesystem::path CanonicalOrEmpty(const std::filesystem::path& path);

// Deletes what the manifest entries name inside installDir (never ownPath, never
// anything outside) and returns the folders that held the removed entries.
// Both paths are in canonical form.
std::vector<std::filesystem::path> RemoveManifestEntries(const std::filesystem::path& installDir,
                                                         const std::filesystem::path& ownPath,
                                                         const std::vector<std::wstring>& entries);

}  // namespace zel
