#include "install/registration/uninstall_entry.h"

#include <filesystem>
#include <limits>

#include "util/unique_handle.h"

namespace zel {
namespace {

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

}  // namespace

bool RegisterUninstallEntry(const std::wstring& installDir, const std::wstring& uninstallExePath,
                            const SetupConfig& config, const std::wstring& productKey, std::uint32_t estimatedSizeKb) {
    const std::wstring path = std::wstring(kUninstallKeyPath) + L"\\" + productKey;
    UniqueHKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const HKEY k = key.get();
    const std::wstring& displayName = config.ProgramsDisplayName.empty() ? config.AppName : config.ProgramsDisplayName;
    const std::wstring uninstallString = L"\"" + uninstallExePath + L"\" /uninstall " + productKey;
    const std::wstring displayIcon = (std::filesystem::path(installDir) / config.MainExe).wstring();

    // In this order, stopping at the first write that fails; earlier values stay.
    // The optional links are written only when set, so an older value survives.
    return WriteString(k, L"DisplayName", displayName) && WriteString(k, L"DisplayVersion", config.DisplayVersion) &&
           WriteString(k, L"Version", config.ProductVersion) && WriteString(k, L"Publisher", config.Publisher) &&
           WriteString(k, L"InstallLocation", installDir) && WriteString(k, L"UninstallString", uninstallString) &&
           WriteString(k, L"DisplayIcon", displayIcon) && WriteDword(k, L"EstimatedSize", estimatedSizeKb) &&
           (config.SupportUrl.empty() || WriteString(k, L"URLInfoAbout", config.SupportUrl)) &&
           (config.HelpUrl.empty() || WriteString(k, L"HelpLink", config.HelpUrl)) &&
           (config.UpdateUrl.empty() || WriteString(k, L"URLUpdateInfo", config.UpdateUrl)) &&
           WriteString(k, L"ZelShortcutName", config.ShortcutName) &&
           WriteString(k, L"ZelStartMenuGroupName", config.StartMenuGroupName) &&
           WriteString(k, L"ZelSetupAppName", config.AppName) &&
           WriteString(k, L"QuietUninstallString", uninstallString + L" /quiet");
}

}  // namespace zel
