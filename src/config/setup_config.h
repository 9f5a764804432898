// The setup.ini model. Field names are the configuration keys.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// setup.exe reads each value with GetPrivateProfileStringW into a 512-character
// buffer, so longer values arrive cut to this length; the portable loader cuts
// the same way so that the builder sees what setup.exe will see.
inline constexpr std::size_t kMaxSetupValueLength = 511;

struct StartMenuItem {
    std::wstring label;   // shortcut file name inside the group, never empty
    std::wstring target;  // path relative to the install folder, "\" separators, never empty
};

struct SetupConfig {
    std::wstring AppName;
    std::wstring AppVersion;
    std::wstring ProgramsDisplayName;
    std::wstring DisplayVersion;
    std::wstring ProductVersion;
    std::wstring Publisher;
    std::wstring SupportUrl;
    std::wstring HelpUrl;
    std::wstring UpdateUrl;
    std::wstring DefaultInstallDir;
    std::wstring ShortcutName;
    std::wstring StartMenuGroupName;
    std::wstring LicenseFile;
    std::wstring MainExe;
    std::vector<std::wstring> Files;
    std::vector<std::wstring> System32RegSvr;
    std::vector<StartMenuItem> StartMenuItems;
};

class IniDocument;

// Loads setup.ini through the Win32 profile functions (setup.exe). Never fails:
// a missing file leaves every field at its default.
void LoadSetupConfig(const std::filesystem::path& iniPath, SetupConfig& config);

// The same rules over the portable reader (InstallerBuilder, native tests).
void LoadSetupConfig(const IniDocument& ini, SetupConfig& config);

// Rules shared by both loaders.
std::wstring DeriveLabel(std::wstring_view target);
// Values of a section's "key=value" lines (text after the first '=', untrimmed;
// lines without '=' or with '=' last contribute nothing).
std::vector<std::wstring> SectionValuesFromLines(const std::vector<std::wstring>& lines);
std::vector<StartMenuItem> StartMenuItemsFromValues(const std::vector<std::wstring>& values);
std::vector<std::wstring> System32RegSvrFromValues(const std::vector<std::wstring>& values);
std::wstring MainExeFromValues(const std::vector<std::wstring>& values);

// The [Setup] keys in their reading order with their defaults. readKey returns the
// value of the key, or the fallback when the key is absent; later defaults use the
// values already read.
using SetupKeyReader = std::function<std::wstring(const wchar_t* key, const std::wstring& fallback)>;
void ReadSetupKeys(const SetupKeyReader& readKey, SetupConfig& config);
// Fills the lists and MainExe from the values of the three list sections.
void ApplySectionValues(const std::vector<std::wstring>& files, const std::vector<std::wstring>& system32RegSvr,
                        const std::vector<std::wstring>& startMenuItems, SetupConfig& config);

}  // namespace zel
