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

#include "common/block_archive.h"
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
    // Version1: stored, as every builder wrote before compression existed;
    // Deflate: a deflate block per entry (stored where it does not shrink);
    // Solid: every entry in one deflate block, in the folder walk's order.
    enum class Layout { Version1, Deflate, Solid };

    void Load(const fs::path& root, InstallPlan& plan, bool withDigests = true, Layout layout = Layout::Version1) {
        std::vector<BlockItem> items;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::end(it); ++it) {
            if (!it->is_regular_file()) continue;
            std::wstring name = it->path().lexically_relative(root).wstring();
            std::replace(name.begin(), name.end(), L'\\', L'/');
            std::ifstream in(it->path(), std::ios::binary);
            items.push_back({WideToUtf8(name), std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                                                         std::istreambuf_iterator<char>())});
        }
        PayloadDigests digests;
        if (layout != Layout::Version1) {
            BuiltArchive built =
                BuildBlockArchive(items, layout == Layout::Solid ? Blocks::DeflateSolid : Blocks::DeflateEach);
            archive_ = std::move(built.bytes);
            digests = built.digests;
        } else {
            std::vector<ArchiveItem> directory;
            for (const BlockItem& item : items) directory.push_back({item.name, item.data.size()});
            archive_ = BuildArchiveDirectory(directory);
            digests.directory = Xxh64(archive_);
            for (const BlockItem& item : items) {
                digests.blocks.push_back(Xxh64(item.data));
                archive_.insert(archive_.end(), item.data.begin(), item.data.end());
            }
        }
        plan.payload.data = archive_;
        EXPECT_TRUE(ParsePayloadArchive(archive_, plan.payload.archive));
        plan.payload.digests.reset();
        if (withDigests) plan.payload.digests = std::move(digests);
    }

    // Changes one bit in the stored bytes of the entry stored under this name.
    void Damage(const InstallPlan& plan, const std::string& name) {
        for (const PayloadEntry& entry : plan.payload.entries()) {
            const PayloadBlock& block = plan.payload.archive.blocks[entry.block];
            if (entry.name == name && block.storedSize > 0) archive_[block.offset + block.storedSize / 2] ^= 0x01;
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
