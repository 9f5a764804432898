// Helpers for the install engine tests: payloads, contexts and registry
// read-back (the scratch folder and file helpers are in tests/common).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/scratch_folder.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "payload/xxh64.h"
#include "run/install_plan.h"
#include "util/unicode.h"
#include "util/unique_handle.h"

namespace zel::test {

namespace fs = std::filesystem;

// The payload setup.exe would carry for a folder laid out as the builder lays out
// a product (setup.ini, files\...): built in memory, with digests unless told
// otherwise, and lent to the plan the way the program lends it the mapped
// resource. Load again after changing the folder.
class TestPayload {
public:
    void Load(const fs::path& root, InstallPlan& plan, bool withDigests = true) {
        std::vector<ArchiveItem> items;
        std::vector<fs::path> sources;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::end(it); ++it) {
            if (!it->is_regular_file()) continue;
            std::wstring name = it->path().lexically_relative(root).wstring();
            std::replace(name.begin(), name.end(), L'\\', L'/');
            items.push_back({WideToUtf8(name), it->file_size()});
            sources.push_back(it->path());
        }
        archive_ = BuildArchiveDirectory(items);
        PayloadDigests digests;
        digests.directory = Xxh64(archive_);
        for (const fs::path& source : sources) {
            std::ifstream in(source, std::ios::binary);
            const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                                 std::istreambuf_iterator<char>());
            digests.entries.push_back(Xxh64(data));
            archive_.insert(archive_.end(), data.begin(), data.end());
        }
        plan.payload.data = archive_;
        plan.payload.entries.clear();
        EXPECT_TRUE(ParsePayloadArchive(archive_, plan.payload.entries));
        plan.payload.digests.reset();
        if (withDigests) plan.payload.digests = std::move(digests);
    }

    // Changes one bit in the data of the entry stored under this name.
    void Damage(const InstallPlan& plan, const std::string& name) {
        for (const PayloadEntry& entry : plan.payload.entries) {
            if (entry.name == name && entry.size > 0) archive_[entry.offset + entry.size / 2] ^= 0x01;
        }
    }

private:
    std::vector<std::uint8_t> archive_;
};

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
