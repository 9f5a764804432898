// Writers of install_manifest.txt and the two system manifests: UTF-8 with a
// byte-order mark, one entry per line, LF line ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zel {

inline constexpr wchar_t kInstallManifestName[] = L"install_manifest.txt";
inline constexpr wchar_t kRegsvrManifestName[] = L"system32_regsvr_manifest.txt";
inline constexpr wchar_t kCopyManifestName[] = L"system32_copy_manifest.txt";

bool WriteManifest(const std::filesystem::path& path, const std::vector<std::wstring>& entries);
// installDir + install_manifest.txt, with "/" turned into "\" in every entry.
bool WriteInstallManifest(const std::filesystem::path& installDir, const std::vector<std::wstring>& entries);

}  // namespace zel
