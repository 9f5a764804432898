// Mirroring "folder\*" payload folders into the folder that Korvel_10.ini's
// MstaFolder names.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "install/mirror_rules.h"
#include "install/run_reporter.h"

namespace zel {

bool MirrorToExtraFolders(RunReporter* logTarget, const std::wstring& installDir,
                          const std::vector<std::wstring>& copiedFiles, const std::vector<std::wstring>& filesPatterns,
                          std::wstring& errorText);

// The weakly canonical folders that the MstaFolder values of the install
// folder's and %LocalAppData%\Korvel\'s Korvel_10.ini name, in that order,
// without case-insensitive duplicates. Cleared first.
void FindExtraFolders(const std::wstring& installDir, std::vector<std::wstring>& extraFolders);
// The MstaFolder value of one settings file; empty when the file or the key is missing.
std::wstring ReadMstaFolderValue(const std::filesystem::path& settingsFile);
// Appends the value's weakly canonical form (lexically normal form when that
// fails) unless it is blank or already listed.
void AddExtraFolder(std::vector<std::wstring>& extraFolders, const std::wstring& value);
// Creates the folder with its missing parents; false with the error text when it cannot.
bool EnsureFolder(const std::filesystem::path& folder, std::wstring& errorText);

}  // namespace zel
