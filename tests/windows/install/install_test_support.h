// Helpers for the install engine tests: a scratch folder, files and registry
// read-back.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "util/unique_handle.h"

namespace zel::test {

namespace fs = std::filesystem;

// A fresh folder under the temp path, removed (read-only flags cleared) afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name) {
        path_ = fs::temp_directory_path() / (L"zel_install_" + name + L"_" + std::to_wstring(::GetCurrentProcessId()));
        Remove();
        fs::create_directories(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() { Remove(); }
    const fs::path& path() const { return path_; }

private:
    void Remove() {
        std::error_code error;
        if (fs::exists(path_, error)) {
            for (const auto& entry : fs::recursive_directory_iterator(path_, error)) {
                ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
            }
        }
        fs::remove_all(path_, error);
    }
    fs::path path_;
};

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "line\r\n" for each line.
inline std::wstring LogOf(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const auto& line : lines) text += line + L"\r\n";
    return text;
}

inline std::vector<std::wstring> Sorted(std::vector<std::wstring> list) {
    std::sort(list.begin(), list.end());
    return list;
}

// One registry value as stored.
struct RegistryValue {
    bool exists = false;
    DWORD type = 0;
    std::vector<BYTE> data;

    std::wstring String() const {
        return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    }
    DWORD Dword() const {
        DWORD value = 0;
        if (data.size() == sizeof(value)) std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(&value));
        return value;
    }
};

inline constexpr wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

inline RegistryValue ReadUninstallValue(const std::wstring& productKey, const wchar_t* name) {
    RegistryValue value;
    UniqueHKey key;
    const std::wstring path = std::wstring(kUninstallRoot) + L"\\" + productKey;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
    value.data.resize(size);
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS) {
        return value;
    }
    value.data.resize(size);
    value.exists = true;
    return value;
}

// Value names of a subkey in enumeration order.
inline std::vector<std::wstring> UninstallValueNames(const std::wstring& productKey) {
    std::vector<std::wstring> names;
    UniqueHKey key;
    const std::wstring path = std::wstring(kUninstallRoot) + L"\\" + productKey;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// Names of the Uninstall subkeys whose ZelSetupAppName is appName.
inline std::vector<std::wstring> UninstallKeysOf(const std::wstring& appName) {
    std::vector<std::wstring> found;
    UniqueHKey root;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ | KEY_WOW64_64KEY, root.put()) !=
        ERROR_SUCCESS) {
        return found;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(root.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring keyName(name, length);
        const RegistryValue value = ReadUninstallValue(keyName, L"ZelSetupAppName");
        if (value.exists && value.String() == appName + L'\0') found.push_back(keyName);
    }
    return found;
}

inline void DeleteUninstallKey(const std::wstring& productKey) {
    const std::wstring path = std::wstring(kUninstallRoot) + L"\\" + productKey;
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
}

inline void DeleteUninstallKeysOf(const std::wstring& appName) {
    for (const auto& key : UninstallKeysOf(appName)) DeleteUninstallKey(key);
}

}  // namespace zel::test
