// Finds an installation of the product among the Uninstall subkeys (64-bit view).
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "install/registration/uninstall_entry.h"
#include "util/ascii.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr REGSAM kSearchAccess = KEY_READ | KEY_WOW64_64KEY;
// Registry key names are at most 255 characters.
constexpr DWORD kKeyNameBufferLength = 256;
constexpr wchar_t kOwnPublisher[] = L"ZelSetup";

// A value that cannot be read counts as empty.
std::wstring ReadOrEmpty(HKEY key, const wchar_t* valueName) {
    std::wstring value;
    ReadRegistryString(key, valueName, value);
    return value;
}

bool IsSameProduct(HKEY key, const std::wstring& appName) {
    std::wstring setupAppName;
    const bool hasSetupAppName = ReadRegistryString(key, L"ZelSetupAppName", setupAppName);
    // Only a key that carries the value is recognised by it: an empty AppName must
    // not claim every other program's key, which lacks the value.
    if (hasSetupAppName && setupAppName == appName) return true;
    if (!setupAppName.empty()) return false;

    // Keys written before the product recorded its AppName: our publisher and a
    // display name of AppName, a space and more.
    if (ReadOrEmpty(key, L"Publisher") != kOwnPublisher) return false;
    const std::wstring displayName = ReadOrEmpty(key, L"DisplayName");
    const std::wstring prefix = appName + L" ";
    return StartsWithIgnoreAsciiCase(displayName, prefix);
}

}  // namespace

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

    UniqueHKey uninstall;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, kSearchAccess, uninstall.put()) != ERROR_SUCCESS) {
        return false;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[kKeyNameBufferLength] = {};
        DWORD nameLength = kKeyNameBufferLength;
        const LONG status =
            ::RegEnumKeyExW(uninstall.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;

        UniqueHKey subkey;
        if (::RegOpenKeyExW(uninstall.get(), name, 0, kSearchAccess, subkey.put()) != ERROR_SUCCESS) continue;
        if (!IsSameProduct(subkey.get(), appName)) continue;

        // A key without a usable install folder is passed over.
        std::wstring installLocation;
        if (!ReadRegistryString(subkey.get(), L"InstallLocation", installLocation) || installLocation.empty()) {
            continue;
        }
        product.keyName.assign(name, nameLength);
        product.installLocation = std::move(installLocation);
        product.displayVersion = ReadOrEmpty(subkey.get(), L"DisplayVersion");
        return true;
    }
    return false;
}

}  // namespace zel
