// The names of the files an install adds to the install folder beside the
// product's own: the uninstaller and the manifests the uninstall reads. Portable:
// the builder checks a product's shortcuts against them too.
#pragma once

namespace zel {

inline constexpr wchar_t kUninstallExeName[] = L"Uninstall.exe";
inline constexpr wchar_t kInstallManifestName[] = L"install_manifest.txt";
inline constexpr wchar_t kRegsvrManifestName[] = L"system32_regsvr_manifest.txt";
inline constexpr wchar_t kCopyManifestName[] = L"system32_copy_manifest.txt";

}  // namespace zel
