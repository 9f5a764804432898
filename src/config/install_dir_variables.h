// Environment variables in DefaultInstallDir ("%ProgramFiles%\Vendor\App"),
// expanded when setup.exe runs, so that a product names Program Files where
// this machine has it. The machine's folders are taken from the system in the
// 64-bit view, not from the environment that whoever started the elevated run
// handed down; other names come from the environment.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zel {

// The variables that name a folder of the machine that only administrators
// write to, with the value they have on a standard installation of Windows
// (what the builder measures paths with).
struct FolderVariable {
    std::wstring_view name;
    std::wstring_view usualValue;
};
inline constexpr std::array<FolderVariable, 7> kFolderVariables = {{
    {L"ProgramFiles", L"C:\\Program Files"},
    {L"ProgramW6432", L"C:\\Program Files"},
    {L"ProgramFiles(x86)", L"C:\\Program Files (x86)"},
    {L"CommonProgramFiles", L"C:\\Program Files\\Common Files"},
    {L"CommonProgramW6432", L"C:\\Program Files\\Common Files"},
    {L"CommonProgramFiles(x86)", L"C:\\Program Files (x86)\\Common Files"},
    {L"SystemDrive", L"C:"},
}};

// The entry of kFolderVariables with this name (ASCII letter case aside), or null.
const FolderVariable* FindFolderVariable(std::wstring_view name);

// The name of the variable the value starts with ("%NAME%..."), or empty.
std::wstring_view LeadingVariable(std::wstring_view value);

// Every "%NAME%" whose value lookup knows, replaced by it, as Windows expands
// environment strings: from left to right, each sign paired with the next one;
// a name lookup does not know stays as written, with both its signs.
using VariableLookup = std::function<std::optional<std::wstring>(std::wstring_view name)>;
std::wstring ExpandVariables(std::wstring_view text, const VariableLookup& lookup);

// ExpandVariables with this machine's folders and setup.exe's environment (Win32).
std::wstring ExpandInstallDirVariables(std::wstring_view text);

}  // namespace zel
