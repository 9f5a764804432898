// The product's subkey under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall
// (64-bit view): registration by the install run, lookup at start-up.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "config/setup_config.h"
#include "install/registration/installed_product.h"

namespace zel {

inline constexpr wchar_t kUninstallKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool RegisterUninstallEntry(const std::wstring& installDir, const std::wstring& uninstallExePath,
                            const SetupConfig& config, const std::wstring& productKey, std::uint32_t estimatedSizeKb);

bool FindInstalledProduct(const std::wstring& appName, InstalledProduct& product);

// True and sets value when the value exists, is REG_SZ and holds at least 2 bytes.
bool ReadRegistryString(HKEY key, const wchar_t* valueName, std::wstring& value);

}  // namespace zel
