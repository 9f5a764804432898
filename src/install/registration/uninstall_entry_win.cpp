#include "install/registration/uninstall_entry.h"

#include <filesystem>
#include <limits>
#include <string_view>
#include <vector>

#include "util/ascii.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

// Every access goes to the 64-bit view, where 64-bit Windows lists programs.
constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_64KEY;
// Registry key names are at most 255 characters.
constexpr DWORD kKeyNameBufferLength = 256;
constexpr wchar_t kOwnPublisher[] = L"ZelSetup";

// REG_SZ data is stored with its terminating NUL.
bool WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
    if (value.size() >= std::numeric_limits<DWORD>::max() / sizeof(wchar_t)) return false;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

bool WriteDword(HKEY key, const wchar_t* name, DWORD value) {
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

// A value that cannot be read counts as empty.
std::wstring ReadOrEmpty(HKEY key, const wchar_t* valueName) {
    std::wstring value;
    ReadRegistryString(key, valueName, value);
    return value;
}

bool IsSameProduct(HKEY key, const std::wstring& appName) {
    std::wstring setupAppName;
    const bool hasSetupAppName = ReadRegistryString(key, kEntrySetupAppName, setupAppName);
    // Only a key that carries the value is recognised by it: an empty AppName must
    // not claim every other program's key, which lacks the value.
    if (hasSetupAppName && setupAppName == appName) return true;
    if (!setupAppName.empty()) return false;

    // Keys written before the product recorded its AppName: our publisher and a
    // display name of AppName, a space and more.
    if (ReadOrEmpty(key, kEntryPublisher) != kOwnPublisher) return false;
    const std::wstring displayName = ReadOrEmpty(key, kEntryDisplayName);
    const std::wstring prefix = appName + L" ";
    return StartsWithIgnoreAsciiCase(displayName, prefix);
}

}  // namespace

std::wstring UninstallEntryPath(const std::wstring& productKey) {
    return std::wstring(kUninstallKeyPath) + L"\\" + productKey;
}

bool RegisterUninstallEntry(const std::wstring& installDir, const std::wstring& uninstallExePath,
                            const SetupConfig& config, const std::wstring& productKey, std::uint32_t estimatedSizeKb) {
    UniqueHKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, UninstallEntryPath(productKey).c_str(), 0, nullptr, 0,
                          KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const HKEY k = key.get();
    const std::wstring& displayName = config.ProgramsDisplayName.empty() ? config.AppName : config.ProgramsDisplayName;
    const std::wstring uninstallString = L"\"" + uninstallExePath + L"\" /uninstall " + productKey;
    const std::wstring displayIcon = (std::filesystem::path(installDir) / config.MainExe).wstring();

    return WriteString(k, kEntryDisplayName, displayName) &&
           WriteString(k, kEntryDisplayVersion, config.DisplayVersion) &&
           WriteString(k, kEntryVersion, config.ProductVersion) && WriteString(k, kEntryPublisher, config.Publisher) &&
           WriteString(k, kEntryInstallLocation, installDir) &&
           WriteString(k, kEntryUninstallString, uninstallString) && WriteString(k, kEntryDisplayIcon, displayIcon) &&
           WriteDword(k, kEntryEstimatedSize, estimatedSizeKb) &&
           (config.SupportUrl.empty() || WriteString(k, kEntryUrlInfoAbout, config.SupportUrl)) &&
           (config.HelpUrl.empty() || WriteString(k, kEntryHelpLink, config.HelpUrl)) &&
           (config.UpdateUrl.empty() || WriteString(k, kEntryUrlUpdateInfo, config.UpdateUrl)) &&
           WriteString(k, kEntryShortcutName, config.ShortcutName) &&
           WriteString(k, kEntryStartMenuGroupName, config.StartMenuGroupName) &&
           WriteString(k, kEntrySetupAppName, config.AppName) &&
           WriteString(k, kEntryQuietUninstallString, uninstallString + L" /quiet");
}

bool ReadUninstallEntry(const std::wstring& productKey, UninstallEntry& entry) {
    entry = UninstallEntry{};
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallEntryPath(productKey).c_str(), 0, kReadAccess, key.put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    entry.installLocation = ReadOrEmpty(key.get(), kEntryInstallLocation);
    entry.shortcutName = ReadOrEmpty(key.get(), kEntryShortcutName);
    entry.startMenuGroupName = ReadOrEmpty(key.get(), kEntryStartMenuGroupName);
    std::wstring appName;
    if (ReadRegistryString(key.get(), kEntrySetupAppName, appName)) entry.setupAppName = std::move(appName);
    return true;
}

bool DeleteUninstallEntry(const std::wstring& productKey) {
    return ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, UninstallEntryPath(productKey).c_str(), KEY_WOW64_64KEY, 0) ==
           ERROR_SUCCESS;
}

bool ReadRegistryString(HKEY key, const wchar_t* valueName, std::wstring& value) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ || size < 2) return false;

    // Two spare units: the stored data need not end with a NUL.
    std::vector<wchar_t> buffer(size / 2 + 2, L'\0');
    DWORD readSize = size;
    if (::RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &readSize) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    value.assign(buffer.data());
    return true;
}

bool FindInstalledProduct(const std::wstring& appName, InstalledProduct& product) {
    product = InstalledProduct{};
    for (RegisteredInstallation& found : ListRegisteredInstallations(appName)) {
        if (!found.sameProduct) continue;
        product = std::move(found.product);
        return true;
    }
    return false;
}

std::vector<RegisteredInstallation> ListRegisteredInstallations(const std::wstring& appName) {
    std::vector<RegisteredInstallation> list;
    UniqueHKey uninstall;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, kReadAccess, uninstall.put()) != ERROR_SUCCESS) {
        return list;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[kKeyNameBufferLength] = {};
        DWORD nameLength = kKeyNameBufferLength;
        const LONG status =
            ::RegEnumKeyExW(uninstall.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;

        UniqueHKey subkey;
        if (::RegOpenKeyExW(uninstall.get(), name, 0, kReadAccess, subkey.put()) != ERROR_SUCCESS) continue;
        // A key without a usable install folder is passed over.
        RegisteredInstallation found;
        if (!ReadRegistryString(subkey.get(), kEntryInstallLocation, found.product.installLocation) ||
            found.product.installLocation.empty()) {
            continue;
        }
        found.product.keyName.assign(name, nameLength);
        found.product.displayVersion = ReadOrEmpty(subkey.get(), kEntryDisplayVersion);
        found.sameProduct = IsSameProduct(subkey.get(), appName);
        list.push_back(std::move(found));
    }
    return list;
}

}  // namespace zel
