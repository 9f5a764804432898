// The machine's Uninstall key, 64-bit view: seeding installations for the
// maintenance dialog and checking what an install registered.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zel::e2e {

inline constexpr wchar_t kUninstallKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct RegistryValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Creates (or opens) the subkey and writes the REG_SZ values in the given order.
bool WriteUninstallKey(const std::wstring& keyName, const std::vector<std::pair<std::wstring, std::wstring>>& values);
bool DeleteUninstallKey(const std::wstring& keyName);
bool UninstallKeyExists(const std::wstring& keyName);
std::vector<std::wstring> UninstallKeyNames();

// All values of the subkey in the order the registry enumerates them.
std::vector<RegistryValue> ReadUninstallValues(const std::wstring& keyName);
std::optional<std::wstring> ReadUninstallString(const std::wstring& keyName, const std::wstring& valueName);

// Names of the subkeys whose ZelSetupAppName is the given product name.
std::vector<std::wstring> KeysOfProduct(const std::wstring& appName);

// Deletes the listed subkey when it goes out of scope.
class ScopedUninstallKey {
public:
    explicit ScopedUninstallKey(std::wstring keyName) : keyName_(std::move(keyName)) {}
    ~ScopedUninstallKey() { DeleteUninstallKey(keyName_); }
    ScopedUninstallKey(const ScopedUninstallKey&) = delete;
    ScopedUninstallKey& operator=(const ScopedUninstallKey&) = delete;
    const std::wstring& name() const { return keyName_; }

private:
    std::wstring keyName_;
};

// Any key of HKEY_LOCAL_MACHINE in the 64-bit view, for what a registered
// library writes there.
std::optional<std::wstring> ReadMachineString(const std::wstring& keyPath, const std::wstring& valueName);
// The strings of a REG_MULTI_SZ value, empty ones included; none when it is missing.
std::vector<std::wstring> ReadMachineMultiString(const std::wstring& keyPath, const std::wstring& valueName);
bool DeleteMachineKey(const std::wstring& keyPath);

// A new braced GUID text, as an install registers it.
std::wstring NewGuidText();

}  // namespace zel::e2e
