// Helpers for the install engine tests: a stand-in wizard window with the
// controls the install run touches, a scratch folder, files and registry read-back.
#pragma once

#include <commctrl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/resource_ids.h"
#include "ui/system_libraries.h"
#include "util/unique_handle.h"

namespace zel::test {

namespace fs = std::filesystem;

// A top-level window holding the progress bar 1006, the log 1007 and the Next
// button 1009, as the wizard does. Destroyed with the object.
class TestWizardWindow {
public:
    TestWizardWindow() {
        InitProgressCommonControl();
        static const ATOM windowClass = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"ZelInstallTestWizard";
            return ::RegisterClassW(&wc);
        }();
        (void)windowClass;
        hwnd_ = ::CreateWindowExW(0, L"ZelInstallTestWizard", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
        Child(PROGRESS_CLASSW, L"", 0, IDC_PROGRESS);
        Child(L"EDIT", L"", ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL, IDC_LOG);
        Child(L"BUTTON", L"Next", BS_DEFPUSHBUTTON | WS_DISABLED, IDC_NEXT);
    }
    TestWizardWindow(const TestWizardWindow&) = delete;
    TestWizardWindow& operator=(const TestWizardWindow&) = delete;
    ~TestWizardWindow() { ::DestroyWindow(hwnd_); }

    HWND hwnd() const { return hwnd_; }
    std::wstring Text(int id) const {
        HWND item = ::GetDlgItem(hwnd_, id);
        std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(item)) + 1, L'\0');
        text.resize(static_cast<size_t>(::GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    std::wstring Log() const { return Text(IDC_LOG); }
    void SetLog(const std::wstring& text) { ::SetDlgItemTextW(hwnd_, IDC_LOG, text.c_str()); }
    bool NextEnabled() const { return ::IsWindowEnabled(::GetDlgItem(hwnd_, IDC_NEXT)) != FALSE; }
    LRESULT Progress(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendDlgItemMessageW(hwnd_, IDC_PROGRESS, message, wParam, lParam);
    }

private:
    void Child(const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 20, hwnd_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    }
    HWND hwnd_ = nullptr;
};

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
