#include <windows.h>

#include <string>

#include "config/install_dir_variables.h"
#include "util/known_folder.h"

namespace zel {
namespace {

// The machine's own value of a folder variable, as a 64-bit program sees it.
std::optional<std::wstring> MachineFolder(const FolderVariable& variable) {
    const std::wstring_view name = variable.name;
    std::wstring folder;
    if (name == L"SystemDrive") {
        const std::wstring windows = WindowsFolderPath();
        if (windows.size() >= 2 && windows[1] == L':') folder = windows.substr(0, 2);
    } else if (name == L"ProgramFiles" || name == L"ProgramW6432") {
        folder = KnownFolderPath(FOLDERID_ProgramFiles);
    } else if (name == L"ProgramFiles(x86)") {
        folder = KnownFolderPath(FOLDERID_ProgramFilesX86);
    } else if (name == L"CommonProgramFiles" || name == L"CommonProgramW6432") {
        folder = KnownFolderPath(FOLDERID_ProgramFilesCommon);
    } else if (name == L"CommonProgramFiles(x86)") {
        folder = KnownFolderPath(FOLDERID_ProgramFilesCommonX86);
    }
    if (folder.empty()) return std::nullopt;
    return folder;
}

std::optional<std::wstring> EnvironmentValue(std::wstring_view name) {
    const std::wstring key(name);
    const DWORD needed = ::GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring value(needed, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(key.c_str(), value.data(), needed);
    if (length == 0 || length >= needed) return std::nullopt;
    value.resize(length);
    return value;
}

}  // namespace

std::wstring ExpandInstallDirVariables(std::wstring_view text) {
    return ExpandVariables(text, [](std::wstring_view name) -> std::optional<std::wstring> {
        if (const FolderVariable* variable = FindFolderVariable(name)) return MachineFolder(*variable);
        return EnvironmentValue(name);
    });
}

}  // namespace zel
