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

}  // namespace zel
