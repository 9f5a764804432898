#include "automation/registry.h"

#include <objbase.h>

#include <algorithm>

#include "util/unique_handle.h"

namespace zel::e2e {
namespace {

std::wstring SubkeyPath(const std::wstring& keyName) { return std::wstring(kUninstallKeyPath) + L"\\" + keyName; }

UniqueHKey OpenMachineKey(const std::wstring& path, REGSAM access) {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

}  // namespace

bool WriteUninstallKey(const std::wstring& keyName, const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    UniqueHKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, SubkeyPath(keyName).c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    for (const auto& [name, data] : values) {
        const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        if (::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), size) !=
            ERROR_SUCCESS)
            return false;
    }
    return true;
}

bool DeleteUninstallKey(const std::wstring& keyName) {
    if (keyName.empty()) return false;
    return ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, SubkeyPath(keyName).c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
}

bool UninstallKeyExists(const std::wstring& keyName) {
    return static_cast<bool>(OpenMachineKey(SubkeyPath(keyName), KEY_READ));
}

std::vector<std::wstring> UninstallKeyNames() {
    std::vector<std::wstring> names;
    UniqueHKey key = OpenMachineKey(kUninstallKeyPath, KEY_READ);
    if (!key) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG status = ::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) names.emplace_back(name, length);
    }
    return names;
}

std::vector<RegistryValue> ReadUninstallValues(const std::wstring& keyName) {
    std::vector<RegistryValue> values;
    UniqueHKey key = OpenMachineKey(SubkeyPath(keyName), KEY_READ);
    if (!key) return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        LONG status = ::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        RegistryValue value{std::wstring(name, nameLength), type, std::vector<BYTE>(size)};
        nameLength = 16384;
        status = ::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, value.data.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.data.resize(size);
            values.push_back(std::move(value));
        }
    }
    return values;
}

std::optional<std::wstring> ReadUninstallString(const std::wstring& keyName, const std::wstring& valueName) {
    for (const RegistryValue& value : ReadUninstallValues(keyName)) {
        if (_wcsicmp(value.name.c_str(), valueName.c_str()) != 0 || value.type != REG_SZ) continue;
        std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    return std::nullopt;
}

std::vector<std::wstring> KeysOfProduct(const std::wstring& appName) {
    std::vector<std::wstring> keys;
    for (const std::wstring& name : UninstallKeyNames()) {
        if (ReadUninstallString(name, L"ZelSetupAppName") == appName) keys.push_back(name);
    }
    return keys;
}

std::optional<std::wstring> ReadMachineString(const std::wstring& keyPath, const std::wstring& valueName) {
    UniqueHKey key = OpenMachineKey(keyPath, KEY_QUERY_VALUE);
    if (!key) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::vector<std::wstring> ReadMachineMultiString(const std::wstring& keyPath, const std::wstring& valueName) {
    std::vector<std::wstring> strings;
    UniqueHKey key = OpenMachineKey(keyPath, KEY_QUERY_VALUE);
    DWORD type = 0;
    DWORD size = 0;
    if (!key || ::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        return strings;
    }
    std::wstring block(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(block.data()),
                           &size) != ERROR_SUCCESS) {
        return strings;
    }
    block.resize(size / sizeof(wchar_t));
    for (size_t at = 0; at < block.size();) {
        const size_t end = std::min(block.find(L'\0', at), block.size());
        strings.push_back(block.substr(at, end - at));
        at = end + 1;
    }
    return strings;
}

bool DeleteMachineKey(const std::wstring& keyPath) {
    return ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
}

std::wstring NewGuidText() {
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid))) return {};
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

}  // namespace zel::e2e
