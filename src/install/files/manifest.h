// Writers of install_manifest.txt and the two system manifests: UTF-8 with a
// byte-order mark, one entry per line, LF line ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "install/files/installed_names.h"

namespace zel {

bool WriteManifest(const std::filesystem::path& path, const std::vector<std::wstring>& entries);
// installDir + install_manifest.txt, with "/" turned into "\" in every entry.
bool WriteInstallManifest(const std::filesystem::path& installDir, const std::vector<std::wstring>& entries);

// The entries of an Update's or a Repair's install_manifest.txt: the run's own,
// then each entry of the previous manifest that the run does not list, so that
// the uninstall still removes a file an earlier version placed and this one no
// longer installs. Only names that stay inside the install folder are carried
// (relative, no drive, root, stream, "." or ".." element, no Uninstall.exe
// draft), each once; names are compared with "/" as "\" and letter case
// folded as Windows folds it, so that no name, the manifests' own included,
// stands twice.
std::vector<std::wstring> WithEntriesCarriedOver(std::vector<std::wstring> entries,
                                                 const std::vector<std::wstring>& previous);

// WithEntriesCarriedOver with the install_manifest.txt now in installDir, for
// the carried entries whose file is still there.
std::vector<std::wstring> CarryOverInstalledEntries(const std::filesystem::path& installDir,
                                                    std::vector<std::wstring> entries);

}  // namespace zel
