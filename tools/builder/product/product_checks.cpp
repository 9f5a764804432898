#include "builder/product/product_checks.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <unordered_set>

#include "app/version.h"
#include "builder/product/windows_names.h"
#include "config/install_dir_variables.h"
#include "install/destination/destination_rules.h"
#include "install/files/files_pattern.h"
#include "install/files/installed_names.h"
#include "util/ascii.h"
#include "util/path_forms.h"
#include "util/unicode.h"

namespace zel {
namespace {

// Paths setup.exe copies to are limited to MAX_PATH (260 characters with the
// terminating NUL): it does not declare itself long-path aware.
constexpr std::size_t kMaxInstalledPath = 259;
// Longer values are quoted by their start only.
constexpr std::size_t kQuoteLimit = 80;
constexpr std::size_t kQuoteStart = 60;
// How many unselected files a warning names.
constexpr std::size_t kNamedUnselected = 5;

constexpr std::array<std::wstring_view, 4> kSections = {L"Setup", L"Files", L"StartMenuItems", L"System32RegSvr"};
constexpr std::array<std::wstring_view, 14> kSetupKeys = {
    L"AppName",        L"AppVersion",        L"ProgramsDisplayName", L"DisplayVersion",
    L"ProductVersion", L"Publisher",         L"SupportUrl",          L"HelpUrl",
    L"UpdateUrl",      L"DefaultInstallDir", L"ShortcutName",        L"StartMenuGroupName",
    L"LicenseFile",    L"Compression"};

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string Utf8(std::wstring_view text) { return WideToUtf8(text); }

std::vector<std::wstring_view> Candidates(auto const& names) { return {names.begin(), names.end()}; }

std::string DidYouMean(std::wstring_view name, const std::vector<std::wstring_view>& candidates, bool section) {
    const std::wstring nearest = NearestName(name, candidates);
    if (nearest.empty()) return {};
    return section ? "; did you mean [" + Utf8(nearest) + "]?" : "; did you mean " + Utf8(nearest) + "?";
}

std::string LineOf(std::size_t line) { return "setup.ini line " + std::to_string(line); }

// "setup.ini line 7 ([Files] File3)": where a value of a list section stands.
std::string Place(const IniDocument::Line& line, std::wstring_view section) {
    return LineOf(line.lineNumber) + " ([" + Utf8(section) + "] " + Utf8(line.key) + ")";
}

// The first section of that name (the one the installer reads), or null.
const IniDocument::Section* FindSection(const IniDocument& ini, std::wstring_view name) {
    const auto& sections = ini.Sections();
    for (std::size_t i = 1; i < sections.size(); ++i) {
        if (EqualsIgnoreAsciiCase(sections[i].name, name)) return &sections[i];
    }
    return nullptr;
}

// The lines of a list section that give a value, in order.
std::vector<const IniDocument::Line*> ValueLines(const IniDocument& ini, std::wstring_view section) {
    std::vector<const IniDocument::Line*> lines;
    if (const IniDocument::Section* s = FindSection(ini, section)) {
        for (const IniDocument::Line& line : s->lines) {
            if (line.HasEquals() && !line.value.empty()) lines.push_back(&line);
        }
    }
    return lines;
}

// "setup.ini line 3 ([Setup] AppVersion)", or "[Setup] AppVersion" when the key is absent.
std::string SetupPlace(const IniDocument& ini, std::wstring_view key) {
    if (const IniDocument::Section* s = FindSection(ini, L"Setup")) {
        for (const IniDocument::Line& line : s->lines) {
            if (line.HasEquals() && EqualsIgnoreAsciiCase(line.key, key)) return Place(line, L"Setup");
        }
    }
    return "[Setup] " + Utf8(key) + " (not set, so its default)";
}

std::size_t Utf16Length(std::wstring_view text) {
    // Where wchar_t holds whole code points, those beyond the BMP take two units.
    std::size_t length = 0;
    for (const wchar_t c : text) {
        const auto cp = static_cast<std::uint32_t>(c);
        length += cp > 0xFFFF ? 2 : 1;
    }
    return length;
}

// Names a drive ("C:x", "C:\x"), a server ("\\server\share") or a root
// directory ("\x"): a path that does not simply lead below the folder it is
// taken relative to. Wider than IsAbsoluteWindowsPath (app/command_line.h):
// "C:x" and "\x" count as well.
bool IsRootedWindowsPath(std::wstring_view path) {
    const WindowsPathParts parts = SplitWindowsPath(path);
    return !parts.rootName.empty() || parts.hasRootDirectory;
}

// DefaultInstallDir as setup.exe expands it on a standard installation of
// Windows: every machine-folder variable replaced by its usual value. Names
// setup.exe takes from its environment stay as written; they are added to
// targetOnly when it is given.
std::wstring UsualInstallDir(std::wstring_view value, std::vector<std::wstring>* targetOnly = nullptr) {
    return ExpandVariables(value, [targetOnly](std::wstring_view name) -> std::optional<std::wstring> {
        if (const FolderVariable* known = FindFolderVariable(name)) return std::wstring(known->usualValue);
        if (targetOnly != nullptr) targetOnly->emplace_back(name);
        return std::nullopt;
    });
}

// The folders setup.exe refuses to install into, where a standard installation
// of Windows has them. The user's own profile is known only on the target.
DestinationFacts StandardMachine() {
    DestinationFacts facts;
    facts.windowsFolder = L"C:\\Windows";
    for (const std::wstring_view name : {L"ProgramFiles", L"ProgramFiles(x86)"}) {
        facts.programFilesFolders.emplace_back(FindFolderVariable(name)->usualValue);
    }
    facts.profilesFolder = L"C:\\Users";
    return facts;
}

std::string FolderVariableNames() {
    std::string names;
    for (const FolderVariable& variable : kFolderVariables) {
        names += (names.empty() ? "%" : ", %") + Utf8(variable.name) + "%";
    }
    return names;
}

std::wstring FoldAscii(std::wstring_view text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) c = AsciiLower(c);
    return folded;
}

bool ContainsIgnoreCase(const std::vector<std::wstring>& list, std::wstring_view item) {
    return std::any_of(list.begin(), list.end(), [&](const std::wstring& x) { return EqualsIgnoreAsciiCase(x, item); });
}

// An installed file, a folder that holds one, or the uninstaller the install adds.
bool IsInstalledTarget(const std::vector<std::wstring>& installs, std::wstring_view target) {
    if (EqualsIgnoreAsciiCase(target, kUninstallExeName)) return true;
    const std::wstring folder = std::wstring(target) + L"\\";
    return std::any_of(installs.begin(), installs.end(), [&](const std::wstring& rel) {
        return EqualsIgnoreAsciiCase(rel, target) || StartsWithIgnoreAsciiCase(rel, folder);
    });
}

std::string GroupNameProblem(std::wstring_view group) {
    if (group.empty()) return {};
    if (IsRootedWindowsPath(group)) return "must be a folder name relative to the Start menu, not a full path";
    std::size_t start = 0;
    while (start <= group.size()) {
        std::size_t end = group.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) end = group.size();
        const std::wstring_view element = group.substr(start, end - start);
        if (element.empty()) return "has an empty folder name (two separators in a row, or one at the end)";
        if (element == L"." || element == L"..") return "must not climb out of the Start menu with \"..\"";
        const std::string problem = PlainNameProblem(element);
        if (!problem.empty()) return problem;
        start = end + 1;
    }
    return {};
}

// A name for a suggested fix: AppName when it is a plain name, otherwise an
// example, so that a fix never repeats the value it corrects.
std::string ExampleName(const SetupConfig& config) {
    return PlainNameProblem(config.AppName).empty() ? Utf8(config.AppName) : "My Product";
}

bool HasSetupKey(const IniDocument& ini, std::wstring_view key) {
    if (const IniDocument::Section* s = FindSection(ini, L"Setup")) {
        return std::any_of(s->lines.begin(), s->lines.end(), [&](const IniDocument::Line& line) {
            return line.HasEquals() && EqualsIgnoreAsciiCase(line.key, key);
        });
    }
    return false;
}

// How to correct a name key: where it is not set it takes AppName, and the fix
// is to set it (or to give AppName a plain name).
std::string NameFix(const IniDocument& ini, std::wstring_view key, const std::string& example) {
    if (HasSetupKey(ini, key)) return "write " + example;
    return Utf8(key) + " takes AppName when it is not set: set " + Utf8(key) + " to " + example +
           ", or give AppName a plain name";
}

// Why setup.exe refuses the folder, and how to correct it.
std::string RefusalText(const DestinationVerdict& verdict, std::wstring_view folder, const std::string& example) {
    const std::string refused =
        "; setup.exe refuses it as the install folder, so every quiet run without /dir would end with 1603; ";
    const std::string ownFolder = refused + "write a folder of the product's own, e.g. %ProgramFiles%\\" + example;
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    switch (verdict.refusal) {
        case DestinationRefusal::NotFullPath:
            if (folder.size() >= 2 && separator(folder[0]) && separator(folder[1])) {
                return "is a network path" + ownFolder;
            }
            return "is not a full path on a drive" + refused +
                   "write it with its drive or start it with a variable, e.g. %ProgramFiles%\\" + example;
        case DestinationRefusal::BadName:
            return "holds the name " + QuoteValue(verdict.detail) + ", which Windows cannot give a folder" + refused +
                   "choose another name";
        case DestinationRefusal::PercentSign:
            return "holds a % sign outside the variables setup.exe fills in (in " + QuoteValue(verdict.detail) +
                   "), which cmd would expand in the registered uninstall command" + refused + "remove the % sign";
        case DestinationRefusal::BareFolder:
            return "is a drive, Program Files or a user profile folder itself" + ownFolder;
        case DestinationRefusal::TooLong:
            return "is " + std::to_string(Utf16Length(folder)) + " characters long, over the " +
                   std::to_string(kMaxDestinationLength) + " that leave room for its Uninstall.exe" + refused +
                   "shorten it";
        case DestinationRefusal::WindowsFolder:
            return "lies in the Windows folder" + ownFolder;
        default:
            return "is not a folder setup.exe installs into" + ownFolder;
    }
}

// DefaultInstallDir under the rules setup.exe applies to every destination,
// as it expands on a standard installation of Windows: what they refuse would
// make every quiet run without /dir end with 1603. A variable setup.exe takes
// from its environment is known only on the target, so the folder is left to
// it, with a warning.
void CheckDefaultInstallDir(const ProductFacts& facts, std::vector<std::string>& warnings) {
    const std::wstring& value = facts.config.DefaultInstallDir;
    const std::string place = SetupPlace(facts.ini, L"DefaultInstallDir") + ": DefaultInstallDir " + QuoteValue(value);
    std::vector<std::wstring> targetOnly;
    const std::wstring usual = UsualInstallDir(value, &targetOnly);
    if (!targetOnly.empty()) {
        const std::string name = "%" + Utf8(targetOnly.front()) + "%";
        warnings.push_back(place + (LeadingVariable(value) == targetOnly.front() ? " starts with " : " holds ") + name +
                           ", which is not one of the machine folders setup.exe fills in (" + FolderVariableNames() +
                           "); setup.exe takes it from the environment it runs in, and an elevated run's per-user "
                           "folders are the administrator's, not the user's");
        return;
    }
    DestinationVerdict verdict = JudgeDestinationText(usual);
    if (verdict.refusal == DestinationRefusal::None) verdict = JudgeDestinationFacts(usual, StandardMachine());
    if (verdict.refusal != DestinationRefusal::None) {
        const std::string expanded = usual == value ? "" : " (" + QuoteValue(usual) + " on a standard Windows)";
        Fail(place + expanded + " " + RefusalText(verdict, usual, ExampleName(facts.config)));
    }
    const std::wstring_view variable = LeadingVariable(value);
    const std::wstring_view rest =
        variable.empty() ? std::wstring_view() : std::wstring_view(value).substr(variable.size() + 2);
    if (!rest.empty() && rest[0] != L'\\' && rest[0] != L'/') {
        warnings.push_back(place + ": %" + Utf8(variable) +
                           "% ends without a separator, so the folder's name is glued to it; write %" + Utf8(variable) +
                           "%\\" + Utf8(rest));
    }
}

void CheckSetupValues(const ProductFacts& facts, std::vector<std::string>& warnings) {
    const SetupConfig& config = facts.config;
    if (const std::string problem = VersionResourceProblem(config.AppVersion); !problem.empty()) {
        Fail(SetupPlace(facts.ini, L"AppVersion") + ": AppVersion " + QuoteValue(config.AppVersion) + " " + problem +
             ", but setup.exe's version resource (the version Explorer shows) holds one to four numbers of at most "
             "65535 each; write a version such as 1.2.0");
    }
    if (!ParseVersion(config.AppVersion)) {
        warnings.push_back(SetupPlace(facts.ini, L"AppVersion") + ": AppVersion " + QuoteValue(config.AppVersion) +
                           " is not a dotted number such as 1.2.0, so an installed version is compared with it as "
                           "text (1.10-beta would count as older than 1.9)");
    }
    CheckDefaultInstallDir(facts, warnings);
    if (config.ShortcutName.empty()) {
        warnings.push_back(SetupPlace(facts.ini, L"ShortcutName") +
                           ": ShortcutName is empty, so no desktop shortcut is made and the install logs a warning; "
                           "remove the line to name the shortcut after AppName");
    }
    const std::string shortcutProblem = PlainNameProblem(config.ShortcutName);
    if (!config.ShortcutName.empty() && !shortcutProblem.empty()) {
        Fail(SetupPlace(facts.ini, L"ShortcutName") + ": the desktop shortcut name " + QuoteValue(config.ShortcutName) +
             " " + shortcutProblem + "; " +
             NameFix(facts.ini, L"ShortcutName", "a plain name such as " + ExampleName(config)));
    }
    const std::string groupProblem = GroupNameProblem(config.StartMenuGroupName);
    if (!groupProblem.empty()) {
        Fail(SetupPlace(facts.ini, L"StartMenuGroupName") + ": the Start-menu folder " +
             QuoteValue(config.StartMenuGroupName) + " " + groupProblem + "; " +
             NameFix(facts.ini, L"StartMenuGroupName", "a folder name such as Vendor\\" + ExampleName(config)));
    }
}

bool SelectsAny(const std::vector<std::wstring>& installable, std::wstring_view pattern) {
    return std::any_of(installable.begin(), installable.end(),
                       [&](const std::wstring& rel) { return MatchFilesPattern(rel, pattern); });
}

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// What is wrong with a [Files] value that selects nothing, when its shape
// shows it: quotes ([Files] keeps them as part of the value), a full path, a
// leading separator, ".." or ".", a "files\" prefix (values are already
// relative to files/), a folder named without "\*". Says what the value should
// read when the corrected one selects files; empty when the shape shows nothing.
std::string FilesValueHint(std::wstring_view value, const std::vector<std::wstring>& installable) {
    std::vector<std::string> reasons;
    std::wstring fixed(value);
    if (fixed.size() >= 2 && (fixed.front() == L'"' || fixed.front() == L'\'') && fixed.back() == fixed.front()) {
        fixed = fixed.substr(1, fixed.size() - 2);
        reasons.push_back("[Files] keeps quotes as part of the value");
    }
    if (!fixed.empty() && IsPathSeparator(fixed.front())) {
        while (!fixed.empty() && IsPathSeparator(fixed.front())) fixed.erase(0, 1);
        reasons.push_back("a leading \\ or / leads nowhere, since values are relative to files/");
    }
    if (fixed.size() >= 2 && fixed[1] == L':') {
        reasons.push_back("values are paths below files/, not full paths");
        fixed.clear();
    }
    // Leading ".\" and "..\" elements.
    bool dots = false, climbs = false;
    for (;;) {
        const std::size_t skip = fixed.starts_with(L"..") ? 2 : fixed.starts_with(L".") ? 1 : 0;
        if (skip == 0 || fixed.size() <= skip || !IsPathSeparator(fixed[skip])) break;
        (skip == 2 ? climbs : dots) = true;
        fixed.erase(0, skip);
        while (!fixed.empty() && IsPathSeparator(fixed.front())) fixed.erase(0, 1);
    }
    if (climbs) {
        reasons.push_back("values cannot reach outside files/ with \"..\"");
    } else if (dots) {
        reasons.push_back("values start below files/, without \".\\\"");
    }
    if (fixed.size() > 6 && EqualsIgnoreAsciiCase(fixed.substr(0, 5), L"files") && IsPathSeparator(fixed[5])) {
        fixed.erase(0, 6);
        reasons.push_back("values are relative to files/, so they do not start with files\\");
    }
    if (!fixed.empty() && fixed.find_first_of(L"*?;") == std::wstring::npos) {
        std::wstring folder = fixed;
        while (!folder.empty() && IsPathSeparator(folder.back())) folder.pop_back();
        const std::wstring below = ReplaceAll(folder, L'/', L'\\') + L"\\";
        const bool isFolder =
            !folder.empty() && std::any_of(installable.begin(), installable.end(), [&](const std::wstring& rel) {
                return StartsWithIgnoreAsciiCase(rel, below);
            });
        if (isFolder) {
            fixed = folder + (folder.find(L'/') != std::wstring::npos ? L"/*" : L"\\*");
            reasons.push_back("it names a folder, and a value without * selects one file");
        }
    }
    if (reasons.empty()) return {};
    std::string hint;
    for (const std::string& reason : reasons) hint += (hint.empty() ? "" : "; ") + reason;
    if (!fixed.empty() && SelectsAny(installable, fixed)) hint += "; write " + Utf8(fixed);
    return hint;
}

void CheckFiles(const ProductFacts& facts, const std::wstring& licenseRel, std::vector<std::string>& warnings) {
    const SetupConfig& config = facts.config;
    std::vector<std::wstring> installable;
    for (const std::wstring& rel : facts.payloadFiles) {
        if (!EqualsIgnoreAsciiCase(rel, licenseRel)) installable.push_back(rel);
    }
    if (config.Files.empty() && installable.empty()) {
        Fail("files/ holds no file to install (it is empty or holds only the licence file)");
    }
    std::string unmatched;
    bool unexplained = false;
    for (const IniDocument::Line* line : ValueLines(facts.ini, L"Files")) {
        if (SelectsAny(installable, line->value)) continue;
        const std::string hint = FilesValueHint(line->value, installable);
        unexplained = unexplained || hint.empty();
        unmatched += (unmatched.empty() ? "" : "; ") + Place(*line, L"Files") + ": " + QuoteValue(line->value) +
                     " selects no file below files/" + (hint.empty() ? "" : ": " + hint);
    }
    if (!unmatched.empty()) {
        Fail(unmatched + (unexplained ? " (patterns are relative to files/, e.g. App.exe, Doc\\* or *.dll; the "
                                        "licence file is never installed)"
                                      : ""));
    }

    // MainExe: the first [Files] value ending in .exe is the desktop shortcut's target.
    if (config.MainExe.empty()) {
        warnings.push_back(
            "no [Files] value ends in .exe, so setup.exe makes no desktop shortcut and registers no icon; list the "
            "main program first, e.g. File1=App.exe");
    } else {
        const std::wstring mainExe = ReplaceAll(config.MainExe, L'/', L'\\');
        std::string where = "[Files]";
        for (const IniDocument::Line* line : ValueLines(facts.ini, L"Files")) {
            if (line->value == config.MainExe) {
                where = Place(*line, L"Files");
                break;
            }
        }
        if (mainExe.find_first_of(L"*?;") != std::wstring::npos) {
            Fail(where + ": " + QuoteValue(config.MainExe) +
                 " is the first [Files] value ending in .exe, so it names the main program (the desktop shortcut's "
                 "target), but it is a pattern; list the main program by its name before it, e.g. File1=App.exe");
        }
        if (!ContainsIgnoreCase(facts.installs, mainExe)) {
            Fail(where + ": the main program " + QuoteValue(config.MainExe) +
                 " (the first [Files] value ending in .exe) is not installed; name a file below files/");
        }
    }

    // Paths the installer cannot create.
    for (const std::wstring& rel : facts.installs) {
        const std::size_t length = Utf16Length(UsualInstallDir(config.DefaultInstallDir)) + 1 + Utf16Length(rel);
        if (length > kMaxInstalledPath) {
            Fail("files/" + Utf8(ReplaceAll(rel, L'\\', L'/')) + " cannot be installed: below " +
                 SetupPlace(facts.ini, L"DefaultInstallDir") + " its path is " + std::to_string(length) +
                 " characters long, over the " + std::to_string(kMaxInstalledPath) +
                 " Windows allows; shorten its name or its folders");
        }
    }

    // Files that nothing installs.
    if (!config.Files.empty()) {
        // Looked up by folded name: products may hold tens of thousands of files.
        std::unordered_set<std::wstring> used;
        for (const std::wstring& rel : facts.installs) used.insert(FoldAscii(rel));
        for (const std::wstring& rel : config.System32RegSvr) used.insert(FoldAscii(rel));
        std::vector<std::wstring> unselected;
        for (const std::wstring& rel : installable) {
            if (!used.contains(FoldAscii(rel))) unselected.push_back(rel);
        }
        if (!unselected.empty()) {
            std::string names;
            for (std::size_t i = 0; i < unselected.size() && i < kNamedUnselected; ++i) {
                names += (i == 0 ? "" : ", ") + QuoteValue(unselected[i]);
            }
            if (unselected.size() > kNamedUnselected) {
                names += " and " + std::to_string(unselected.size() - kNamedUnselected) + " more";
            }
            warnings.push_back(std::to_string(unselected.size()) +
                               (unselected.size() == 1 ? " file below files/ is" : " files below files/ are") +
                               " selected by no [Files] pattern and never installed: " + names +
                               "; add a pattern for them or remove them");
        }
    }
}

void CheckStartMenuItems(const ProductFacts& facts) {
    for (const IniDocument::Line* line : ValueLines(facts.ini, L"StartMenuItems")) {
        const std::vector<StartMenuItem> items = StartMenuItemsFromValues({line->value});
        if (items.empty()) continue;
        const StartMenuItem& item = items.front();
        const std::string problem = PlainNameProblem(item.label);
        if (!problem.empty()) {
            Fail(Place(*line, L"StartMenuItems") + ": the Start-menu item name " + QuoteValue(item.label) + " " +
                 problem + "; write Label|Target with a plain label, e.g. Manual|Doc\\Manual.pdf");
        }
        if (IsRootedWindowsPath(item.target) || HasParentReferenceText(item.target)) {
            Fail(Place(*line, L"StartMenuItems") + ": the target " + QuoteValue(item.target) +
                 " must be a path relative to the install folder, e.g. Doc\\Manual.pdf");
        }
        if (!IsInstalledTarget(facts.installs, item.target)) {
            Fail(Place(*line, L"StartMenuItems") + ": the target " + QuoteValue(item.target) +
                 " is not installed (no [Files] pattern selects a file of that path below files/); add a pattern "
                 "for it or correct the target");
        }
    }
}

void CheckSystem32RegSvr(const ProductFacts& facts) {
    for (const IniDocument::Line* line : ValueLines(facts.ini, L"System32RegSvr")) {
        const std::wstring entry = TrimWhitespace(ReplaceAll(line->value, L'/', L'\\'));
        if (entry.empty()) continue;
        if (IsRootedWindowsPath(entry) || HasParentReferenceText(entry)) {
            Fail(Place(*line, L"System32RegSvr") + ": " + QuoteValue(entry) +
                 " must be a path below files/, e.g. com\\Library.dll");
        }
        if (!ContainsIgnoreCase(facts.payloadFiles, entry)) {
            Fail(Place(*line, L"System32RegSvr") + ": " + QuoteValue(entry) +
                 " is not a file below files/, so every install would stop with an error; put the file at files/" +
                 Utf8(ReplaceAll(entry, L'\\', L'/')) + " or correct the path");
        }
    }
}

}  // namespace

std::wstring NearestName(std::wstring_view name, const std::vector<std::wstring_view>& candidates) {
    // Optimal string alignment distance (a swap of two neighbours counts once),
    // ASCII letters folded.
    auto distance = [](std::wstring_view a, std::wstring_view b) {
        std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
        for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            for (std::size_t j = 1; j <= b.size(); ++j) {
                const std::size_t cost = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]) ? 0 : 1;
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
                if (i > 1 && j > 1 && AsciiLower(a[i - 1]) == AsciiLower(b[j - 2]) &&
                    AsciiLower(a[i - 2]) == AsciiLower(b[j - 1])) {
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
                }
            }
        }
        return d[a.size()][b.size()];
    };
    // Long names are not compared: nobody misspells a key by hundreds of characters.
    if (name.size() > 64) return {};
    std::wstring best;
    std::size_t bestDistance = static_cast<std::size_t>(-1);
    for (const std::wstring_view candidate : candidates) {
        const std::size_t d = distance(name, candidate);
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    const std::size_t allowed = std::max<std::size_t>(2, best.size() / 3);
    return bestDistance <= allowed ? best : std::wstring();
}

std::string PlainNameProblem(std::wstring_view name) {
    if (name.empty()) return "is empty";
    if (name.find_first_of(L"\\/") != std::wstring_view::npos) {
        return "holds a path separator (\\ or /); it must be a plain name";
    }
    if (name == L"." || name == L"..") return "is not a name";
    const std::string problem = WindowsNameProblem(WideToUtf8(name));
    return problem.empty() ? std::string() : "is not a plain name: " + problem;
}

std::string VersionResourceProblem(std::wstring_view text) {
    if (text.empty()) return "is empty";
    std::size_t components = 0;
    for (std::wstring_view rest = text;;) {
        const std::size_t dot = rest.find(L'.');
        const std::wstring_view component = rest.substr(0, dot);
        std::size_t digits = 0;
        while (digits < component.size() && component[digits] >= L'0' && component[digits] <= L'9') ++digits;
        const std::wstring_view number = component.substr(0, digits);
        std::uint32_t value = 0;
        for (const wchar_t c : number)
            value = std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(c - L'0'), 65536);
        if (value > 65535) {
            return "has the number " + WideToUtf8(number);
        }
        ++components;
        if (dot == std::wstring_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    if (components > 4) {
        return "has " + std::to_string(components) + " numbers";
    }
    return {};
}

std::string QuoteValue(std::wstring_view value) {
    std::string quoted = "\"";
    if (value.size() <= kQuoteLimit) {
        quoted.append(Utf8(value));
        quoted.push_back('"');
        return quoted;
    }
    quoted.append(Utf8(value.substr(0, kQuoteStart)));
    quoted.append("...\" (");
    quoted.append(std::to_string(value.size()));
    quoted.append(" characters)");
    return quoted;
}

void CheckIniStructure(const IniDocument& ini, std::vector<std::string>& warnings) {
    const auto& sections = ini.Sections();
    if (!FindSection(ini, L"Setup")) {
        std::string hint;
        for (std::size_t i = 1; i < sections.size() && hint.empty(); ++i) {
            if (NearestName(sections[i].name, {L"Setup"}) == L"Setup") {
                hint = " (" + QuoteValue(L"[" + sections[i].name + L"]") + " on line " +
                       std::to_string(sections[i].lineNumber) + ": did you mean [Setup]?)";
            }
        }
        Fail(
            "setup.ini has no [Setup] section" + hint +
            "; it holds the product's name, version and LicenseFile, e.g. [Setup] AppName=... LicenseFile=License.txt");
    }
    for (std::size_t i = 1; i < sections.size(); ++i) {
        const IniDocument::Section& section = sections[i];
        const auto known = std::find_if(kSections.begin(), kSections.end(), [&](std::wstring_view name) {
            return EqualsIgnoreAsciiCase(name, section.name);
        });
        if (known == kSections.end()) {
            warnings.push_back(LineOf(section.lineNumber) + ": unknown section " +
                               QuoteValue(L"[" + section.name + L"]") + " is ignored" +
                               DidYouMean(section.name, Candidates(kSections), true));
            continue;
        }
        if (FindSection(ini, section.name) != &section) {
            warnings.push_back(LineOf(section.lineNumber) + ": a second [" + Utf8(section.name) +
                               "] section is ignored (only the first counts); merge the two");
            continue;
        }
        std::vector<std::wstring> seenKeys;
        for (const IniDocument::Line& line : section.lines) {
            if (!line.HasEquals()) {
                warnings.push_back(LineOf(line.lineNumber) + ": the line " + QuoteValue(line.raw) + " in [" +
                                   Utf8(*known) + "] has no \"=\" and is ignored; write Key=Value");
                continue;
            }
            if (*known != L"Setup") continue;
            const bool isKey = std::any_of(kSetupKeys.begin(), kSetupKeys.end(),
                                           [&](std::wstring_view key) { return EqualsIgnoreAsciiCase(key, line.key); });
            if (!isKey) {
                warnings.push_back(Place(line, L"Setup") + ": unknown key " + QuoteValue(line.key) + " is ignored" +
                                   DidYouMean(line.key, Candidates(kSetupKeys), false));
            } else if (ContainsIgnoreCase(seenKeys, line.key)) {
                warnings.push_back(Place(line, L"Setup") + ": " + Utf8(line.key) +
                                   " is set a second time and this value is ignored (only the first counts)");
            } else {
                seenKeys.push_back(line.key);
            }
        }
    }
}

void FailNoLicenseFile(const IniDocument& ini) {
    const std::string example = " (the licence text the wizard shows, e.g. LicenseFile=License.txt)";
    if (const IniDocument::Section* setup = FindSection(ini, L"Setup")) {
        for (const IniDocument::Line& line : setup->lines) {
            if (!line.HasEquals()) continue;
            if (EqualsIgnoreAsciiCase(line.key, L"LicenseFile")) {
                Fail(Place(line, L"Setup") + ": LicenseFile is empty; name the licence file" + example);
            }
        }
        for (const IniDocument::Line& line : setup->lines) {
            if (line.HasEquals() && NearestName(line.key, Candidates(kSetupKeys)) == L"LicenseFile") {
                Fail(Place(line, L"Setup") + ": [Setup] has no LicenseFile; did you mean LicenseFile?" + example);
            }
        }
    }
    Fail("setup.ini: [Setup] has no LicenseFile" + example);
}

void CheckProductRules(const ProductFacts& facts, std::vector<std::string>& warnings) {
    CheckSetupValues(facts, warnings);
    CheckFiles(facts, LicenseRelativePath(facts.config.LicenseFile), warnings);
    CheckStartMenuItems(facts);
    CheckSystem32RegSvr(facts);
}

}  // namespace zel
