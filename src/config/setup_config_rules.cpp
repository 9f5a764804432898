// The setup.ini rules that do not depend on how the file is read: defaults,
// list values, Start-menu lines, labels, the main executable.
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_document.h"
#include "config/setup_config.h"
#include "util/ascii.h"

namespace zel {
namespace {

constexpr wchar_t kDefaultAppName[] = L"アプリケーション";
constexpr wchar_t kDefaultAppVersion[] = L"1.0.0";
constexpr wchar_t kDefaultPublisher[] = L"ZelSetup";
constexpr wchar_t kDefaultInstallDir[] = L"C:\\Program Files\\アプリケーション";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of the root part: a drive ("C:") and the separators that follow it.
std::size_t RootLength(std::wstring_view path) {
    std::size_t length = (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == L':') ? 2 : 0;
    while (length < path.size() && IsSeparator(path[length])) ++length;
    return length;
}

}  // namespace

std::wstring DeriveLabel(std::wstring_view target) {
    std::wstring_view name = target.substr(RootLength(target));
    const std::size_t lastSeparator = name.find_last_of(L"\\/");
    if (lastSeparator != std::wstring_view::npos) name.remove_prefix(lastSeparator + 1);

    // "file.txt:stream" names a stream of file.txt: the stem comes from file.txt.
    std::wstring_view stem = name.substr(0, name.find(L':'));
    if (stem != L"." && stem != L"..") {
        const std::size_t dot = stem.rfind(L'.');
        if (dot != std::wstring_view::npos && dot != 0) stem = stem.substr(0, dot);
    }
    if (!stem.empty()) return std::wstring(stem);
    if (!name.empty()) return std::wstring(name);
    return std::wstring(target);
}

std::vector<std::wstring> SectionValuesFromLines(const std::vector<std::wstring>& lines) {
    std::vector<std::wstring> values;
    for (const std::wstring& line : lines) {
        if (line.empty()) break;  // the end of a profile-section block
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring::npos || equals + 1 == line.size()) continue;
        values.push_back(line.substr(equals + 1));
    }
    return values;
}

std::vector<StartMenuItem> StartMenuItemsFromValues(const std::vector<std::wstring>& values) {
    std::vector<StartMenuItem> items;
    for (const std::wstring& value : values) {
        const std::wstring line = TrimWhitespace(value);
        if (line.empty()) continue;
        StartMenuItem item;
        const std::size_t bar = line.find(L'|');
        if (bar == std::wstring::npos) {
            item.target = ReplaceAll(line, L'/', L'\\');
        } else {
            item.label = TrimWhitespace(std::wstring_view(line).substr(0, bar));
            item.target = ReplaceAll(TrimWhitespace(std::wstring_view(line).substr(bar + 1)), L'/', L'\\');
        }
        if (item.target.empty()) continue;  // "Name|" names nothing to start
        if (item.label.empty()) item.label = DeriveLabel(item.target);
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<std::wstring> System32RegSvrFromValues(const std::vector<std::wstring>& values) {
    std::vector<std::wstring> paths;
    for (const std::wstring& value : values) {
        std::wstring path = TrimWhitespace(ReplaceAll(value, L'/', L'\\'));
        if (!path.empty()) paths.push_back(std::move(path));
    }
    return paths;
}

std::wstring MainExeFromValues(const std::vector<std::wstring>& values) {
    // Values are taken as read: "app.exe " does not qualify, "*.exe" does.
    for (const std::wstring& value : values) {
        if (EndsWithIgnoreAsciiCase(value, L".exe")) return value;
    }
    return {};
}

void ReadSetupKeys(const SetupKeyReader& readKey, SetupConfig& config) {
    config.AppName = readKey(L"AppName", kDefaultAppName);
    config.AppVersion = readKey(L"AppVersion", kDefaultAppVersion);
    config.ProgramsDisplayName = readKey(L"ProgramsDisplayName", config.AppName);
    config.DisplayVersion = readKey(L"DisplayVersion", config.AppVersion);
    config.ProductVersion = readKey(L"ProductVersion", config.DisplayVersion);
    config.Publisher = readKey(L"Publisher", kDefaultPublisher);
    config.SupportUrl = readKey(L"SupportUrl", L"");
    config.HelpUrl = readKey(L"HelpUrl", L"");
    config.UpdateUrl = readKey(L"UpdateUrl", L"");
    config.DefaultInstallDir = readKey(L"DefaultInstallDir", kDefaultInstallDir);
    config.ShortcutName = readKey(L"ShortcutName", config.AppName);
    config.StartMenuGroupName = readKey(L"StartMenuGroupName", config.AppName);
    config.LicenseFile = readKey(L"LicenseFile", L"");
}

void ApplySectionValues(const std::vector<std::wstring>& files, const std::vector<std::wstring>& system32RegSvr,
                        const std::vector<std::wstring>& startMenuItems, SetupConfig& config) {
    config.Files = files;
    config.System32RegSvr = System32RegSvrFromValues(system32RegSvr);
    config.StartMenuItems = StartMenuItemsFromValues(startMenuItems);
    config.MainExe = MainExeFromValues(files);
}

void LoadSetupConfig(const IniDocument& ini, SetupConfig& config) {
    ReadSetupKeys(
        [&ini](const wchar_t* key, const std::wstring& fallback) {
            // GetPrivateProfileStringW drops trailing blanks of the default it returns.
            std::wstring value = ini.GetValue(L"Setup", key)
                                     .value_or(std::wstring(fallback.substr(0, fallback.find_last_not_of(L' ') + 1)));
            if (value.size() > kMaxSetupValueLength) value.resize(kMaxSetupValueLength);
            return value;
        },
        config);
    ApplySectionValues(SectionValuesFromLines(ini.SectionLines(L"Files")),
                       SectionValuesFromLines(ini.SectionLines(L"System32RegSvr")),
                       SectionValuesFromLines(ini.SectionLines(L"StartMenuItems")), config);
}

}  // namespace zel
