// The product's subkey under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall
// (64-bit view), the one place that knows its path and its value names: written
// by the install run, found at start-up, read and deleted by the uninstall, read
// for the product lock's name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/setup_config.h"
#include "install/registration/installed_product.h"

namespace zel {

inline constexpr wchar_t kUninstallKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The values of a product's key. The Zel* values are the program's own; the
// others are the ones Windows' "Programs and Features" reads.
inline constexpr wchar_t kEntryDisplayName[] = L"DisplayName";
inline constexpr wchar_t kEntryDisplayVersion[] = L"DisplayVersion";
inline constexpr wchar_t kEntryVersion[] = L"Version";
inline constexpr wchar_t kEntryPublisher[] = L"Publisher";
inline constexpr wchar_t kEntryInstallLocation[] = L"InstallLocation";
inline constexpr wchar_t kEntryUninstallString[] = L"UninstallString";
inline constexpr wchar_t kEntryQuietUninstallString[] = L"QuietUninstallString";
inline constexpr wchar_t kEntryDisplayIcon[] = L"DisplayIcon";
inline constexpr wchar_t kEntryEstimatedSize[] = L"EstimatedSize";
inline constexpr wchar_t kEntryUrlInfoAbout[] = L"URLInfoAbout";
inline constexpr wchar_t kEntryHelpLink[] = L"HelpLink";
inline constexpr wchar_t kEntryUrlUpdateInfo[] = L"URLUpdateInfo";
inline constexpr wchar_t kEntryShortcutName[] = L"ZelShortcutName";
inline constexpr wchar_t kEntryStartMenuGroupName[] = L"ZelStartMenuGroupName";
inline constexpr wchar_t kEntrySetupAppName[] = L"ZelSetupAppName";

// What the uninstall and the product lock read back from a product's key. A
// value that cannot be read is empty (setupAppName: absent).
struct UninstallEntry {
    std::wstring installLocation;
    std::wstring shortcutName;
    std::wstring startMenuGroupName;
    std::optional<std::wstring> setupAppName;  // keys written before it was recorded have none
};

// kUninstallKeyPath + "\" + the subkey name.
std::wstring UninstallEntryPath(const std::wstring& productKey);

// Writes every value of the product's key (created when missing), in a fixed
// order, stopping at the first write that fails; earlier values stay. The
// optional links are written only when set, so an older value survives.
bool RegisterUninstallEntry(const std::wstring& installDir, const std::wstring& uninstallExePath,
                            const SetupConfig& config, const std::wstring& productKey, std::uint32_t estimatedSizeKb);

// Reads the key of that name. False when there is no such key (or it cannot be opened).
bool ReadUninstallEntry(const std::wstring& productKey, UninstallEntry& entry);

// Deletes the key (it has no subkeys). False when it could not be deleted.
bool DeleteUninstallEntry(const std::wstring& productKey);

// The first key of this product (its ZelSetupAppName, or for keys written before
// that value, our publisher and a display name of AppName and more) that has an
// install folder.
bool FindInstalledProduct(const std::wstring& appName, InstalledProduct& product);

// Every key, of any program, that has an install folder, in the registry's
// order, each marked whether it is this product's (as FindInstalledProduct
// tells). A product may have more than one: a stale key whose folder is gone
// can stand in front of the live one.
struct RegisteredInstallation {
    InstalledProduct product;
    bool sameProduct = false;
};
std::vector<RegisteredInstallation> ListRegisteredInstallations(const std::wstring& appName);

// True and sets value when the value exists, is REG_SZ and holds at least 2 bytes.
bool ReadRegistryString(HKEY key, const wchar_t* valueName, std::wstring& value);

}  // namespace zel
