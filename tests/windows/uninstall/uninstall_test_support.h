// Temporary folders and small file helpers for the uninstall tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "util/module_path.h"
#include "util/unique_handle.h"

#include "install/shortcuts.h"

namespace zel::test {

// A fresh folder under the temp path whose name holds a blank and Japanese
// letters; removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::wstring name = L"zel-uninstall テスト ";
        for (const char* p = info ? info->name() : "x"; *p; ++p)
            name.push_back(std::isalnum(static_cast<unsigned char>(*p)) ? *p : L'_');
        name += L"-" + std::to_wstring(GetCurrentProcessId());
        path_ = std::filesystem::temp_directory_path() / name;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        // A program that has just ended may still hold its file for a moment.
        for (int attempt = 0; attempt < 50; ++attempt) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
            if (!ec && !std::filesystem::exists(path_, ec)) return;
            Sleep(100);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::wstring& relative) const { return path_ / relative; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& file, const std::string& text = "x") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

inline bool Exists(const std::filesystem::path& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A shell link to target (which must exist), made as the install makes them;
// COM must be initialised.
inline bool WriteLink(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::wstring error;
    return CreateShortcut(link, target, target.parent_path(), error);
}

// UTF-8 for test messages.
inline std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
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
