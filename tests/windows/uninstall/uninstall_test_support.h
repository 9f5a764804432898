// Scratch folders and small file helpers for the uninstall tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/scratch_folder.h"
#include "common/show_text.h"
#include "util/module_path.h"
#include "util/unique_handle.h"

#include "install/shortcuts/shortcut_creation.h"

namespace zel::test {

// A scratch folder whose name holds a blank and Japanese letters, as the
// folders products are installed in often do.
class TempFolder : public ScratchFolder {
public:
    TempFolder() : ScratchFolder(L"uninstall テスト") {}
};

// A small file whose content does not matter.
inline void WriteFile(const std::filesystem::path& file) { WriteFile(file, "x"); }

inline bool Exists(const std::filesystem::path& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A shell link to target (which must exist), made as the install makes them;
// COM must be initialised.
inline bool WriteLink(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::wstring error;
    return CreateShortcut(link, target, target.parent_path(), error);
}

// The folder that holds the running test program (and its helper programs).
inline std::filesystem::path TestProgramFolder() { return std::filesystem::path(zel::OwnModulePath()).parent_path(); }

// The files the system deletes or renames at the next restart, as "\\??\\" paths.
inline std::vector<std::wstring> PendingRestartOperations() {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      key.put()) != ERROR_SUCCESS) {
        return {};
    }
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    std::wstring block(bytes / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(block.data()),
                     &bytes);
    std::vector<std::wstring> entries;
    for (size_t at = 0; at < block.size();) {
        const size_t end = block.find(L'\0', at);
        entries.push_back(block.substr(at, end - at));
        at = end + 1;
    }
    return entries;
}

}  // namespace zel::test
