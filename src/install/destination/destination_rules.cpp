#include "install/destination/destination_rules.h"

#include <algorithm>
#include <cstdint>

#include "util/ascii.h"
#include "util/file_names.h"
#include "util/path_forms.h"
#include "util/upper_case.h"

namespace zel {
namespace {

constexpr wchar_t kNotFullPath[] =
    L"インストール先には、ドライブ文字から始まるフルパスを指定してください (例: C:\\Program Files\\製品名)。";
constexpr wchar_t kBadName[] = L"インストール先のパスに、フォルダ名に使えない文字または名前が含まれています: ";
constexpr wchar_t kBareFolder[] =
    L"ドライブ、Program Files またはユーザー プロファイルのフォルダそのものにはインストールできません。その中のフォルダを指定してください。";
constexpr wchar_t kWindowsFolder[] = L"Windows フォルダとその中にはインストールできません。";
constexpr wchar_t kMissingDrive[] = L"インストール先のドライブが見つかりません: ";
constexpr wchar_t kNotLocal[] =
    L"インストール先には、このコンピューターのローカル ドライブ上のフォルダを指定してください。";
constexpr wchar_t kFileInTheWay[] = L"インストール先に同じ名前のファイルがあるため、フォルダを作成できません: ";
// cmd expands %NAME% even inside quotes, so the registered uninstall commands
// would not run as written when a deployment tool starts them through cmd /c.
constexpr wchar_t kPercentSign[] =
    L"インストール先のパスに % は使えません (アンインストールのコマンドが正しく実行できなくなります): ";
constexpr wchar_t kOtherInstallation[] =
    L"このフォルダには別の製品がインストールされています (install_manifest.txt または Uninstall.exe があります)。別のフォルダを指定してください。";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A character outside the Basic Multilingual Plane, held whole where wchar_t
// has 32 bits (Windows holds it as two surrogate units).
bool IsWideCodePoint(wchar_t c) { return (static_cast<std::uint32_t>(c) >> 16) != 0; }

// Length in UTF-16 units, as Windows counts it.
size_t Utf16Length(std::wstring_view text) {
    size_t length = 0;
    for (const wchar_t c : text) length += IsWideCodePoint(c) ? 2 : 1;
    return length;
}

// A name Windows cannot create as it is written: characters it refuses, "."
// and "..", device names, and a trailing dot or blank (which Windows would
// silently drop, so the folder made would not be the one registered).
bool IsBadName(std::wstring_view name) { return name == L"." || name == L".." || IsNameWindowsAlters(name); }

// Separators made single "\\", none at the end, letters folded as Windows
// folds them.
std::u16string FolderKey(std::wstring_view path) {
    std::wstring single;
    for (const wchar_t c : path) {
        if (!IsSeparator(c)) {
            single.push_back(c);
        } else if (single.empty() || single.back() != L'\\') {
            single.push_back(L'\\');
        }
    }
    while (!single.empty() && single.back() == L'\\') single.pop_back();
    return FoldedForComparison(single);
}

bool IsSameOrInside(const std::u16string& path, const std::u16string& folder) {
    if (folder.empty() || path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == u'\\';
}

bool IsDirectlyInside(const std::u16string& path, const std::u16string& folder) {
    return IsSameOrInside(path, folder) && path.size() > folder.size() &&
           path.find(u'\\', folder.size() + 1) == std::u16string::npos;
}

// A drive root or a folder that holds other installations and profiles as a
// whole: installing there would mix the product's files into it.
bool IsBareFolder(const std::u16string& path, const DestinationFacts& facts) {
    if (path.size() <= 2) return true;  // "C:" after its separator was dropped
    const auto same = [&path](const std::wstring& folder) { return !folder.empty() && path == FolderKey(folder); };
    if (std::any_of(facts.programFilesFolders.begin(), facts.programFilesFolders.end(), same)) return true;
    if (same(facts.userProfile) || same(facts.profilesFolder)) return true;
    return !facts.profilesFolder.empty() && IsDirectlyInside(path, FolderKey(facts.profilesFolder));
}

// The uninstaller's path must fit in MAX_PATH - 1 characters in the form the
// file system gives it, which is the one Windows checks when it starts it.
bool FitsLength(std::wstring_view path) {
    while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
    return Utf16Length(path) <= kMaxDestinationLength;
}

DestinationVerdict Refused(DestinationRefusal refusal, std::wstring detail = {}) {
    return DestinationVerdict{refusal, std::move(detail)};
}

// The reason for a warning box.
std::wstring ProblemText(const DestinationVerdict& verdict) {
    switch (verdict.refusal) {
        case DestinationRefusal::None:
            return {};
        case DestinationRefusal::NotFullPath:
            return kNotFullPath;
        case DestinationRefusal::BadName:
            return kBadName + verdict.detail;
        case DestinationRefusal::PercentSign:
            return kPercentSign + verdict.detail;
        case DestinationRefusal::BareFolder:
            return kBareFolder;
        case DestinationRefusal::TooLong:
            return L"インストール先のパスが長すぎます。Uninstall.exe のパスが 259 文字以内に収まるよう、" +
                   std::to_wstring(kMaxDestinationLength) + L" 文字以内のフォルダを指定してください。";
        case DestinationRefusal::WindowsFolder:
            return kWindowsFolder;
        case DestinationRefusal::MissingDrive:
            return kMissingDrive + verdict.detail;
        case DestinationRefusal::NotLocal:
            return kNotLocal;
        case DestinationRefusal::FileInTheWay:
            return kFileInTheWay + verdict.detail;
        case DestinationRefusal::OtherInstallation:
            return kOtherInstallation;
    }
    return {};
}

bool Accepted(const DestinationVerdict& verdict, std::wstring& problem) {
    if (verdict.refusal == DestinationRefusal::None) return true;
    problem = ProblemText(verdict);
    return false;
}

}  // namespace

DestinationVerdict JudgeDestinationText(std::wstring_view destination) {
    const bool onDrive =
        destination.size() >= 3 && destination[1] == L':' && IsSeparator(destination[2]) &&
        ((destination[0] >= L'A' && destination[0] <= L'Z') || (destination[0] >= L'a' && destination[0] <= L'z'));
    if (!onDrive) return Refused(DestinationRefusal::NotFullPath);
    const WindowsPathParts parts = SplitWindowsPath(destination);
    for (const std::wstring& name : parts.names) {
        if (IsBadName(name)) return Refused(DestinationRefusal::BadName, name);
        if (name.find(L'%') != std::wstring::npos) return Refused(DestinationRefusal::PercentSign, name);
    }
    if (parts.names.empty()) return Refused(DestinationRefusal::BareFolder);
    if (!FitsLength(destination)) return Refused(DestinationRefusal::TooLong);
    return {};
}

DestinationVerdict JudgeDestinationFacts(std::wstring_view destination, const DestinationFacts& facts) {
    switch (facts.drive) {
        case DestinationDrive::Missing:
            return Refused(DestinationRefusal::MissingDrive, std::wstring(destination.substr(0, 2)));
        case DestinationDrive::Remote:
        case DestinationDrive::ReadOnly:
            return Refused(DestinationRefusal::NotLocal);
        case DestinationDrive::Local:
            break;
    }
    // The typed text and the form the file system resolves (a short name or a
    // link may lead into a folder the text does not name) must both pass.
    std::vector<std::u16string> forms = {FolderKey(destination)};
    if (!facts.resolved.empty()) forms.push_back(FolderKey(facts.resolved));
    for (const std::u16string& form : forms) {
        if (!facts.windowsFolder.empty() && IsSameOrInside(form, FolderKey(facts.windowsFolder))) {
            return Refused(DestinationRefusal::WindowsFolder);
        }
        if (IsBareFolder(form, facts)) return Refused(DestinationRefusal::BareFolder);
    }
    // A short name or a link keeps the typed text short, but what Windows opens
    // is the long form.
    if (!facts.resolved.empty() && !FitsLength(facts.resolved)) return Refused(DestinationRefusal::TooLong);
    if (!facts.fileInTheWay.empty()) return Refused(DestinationRefusal::FileInTheWay, facts.fileInTheWay);
    const bool ownInstallation = facts.registeredHere || (!facts.registeredToOther && facts.manifestListsOwnFiles);
    if (facts.holdsInstallation && !ownInstallation) return Refused(DestinationRefusal::OtherInstallation);
    return {};
}

bool CheckDestinationText(std::wstring_view destination, std::wstring& problem) {
    return Accepted(JudgeDestinationText(destination), problem);
}

bool CheckDestinationFacts(std::wstring_view destination, const DestinationFacts& facts, std::wstring& problem) {
    return Accepted(JudgeDestinationFacts(destination, facts), problem);
}

bool IsSameFolderText(std::wstring_view a, std::wstring_view b) { return FolderKey(a) == FolderKey(b); }

bool ListsOwnFiles(const std::vector<std::wstring>& manifestLines, const SetupConfig& config) {
    // A pattern names no file of its own.
    const auto namesOneFile = [](std::wstring_view value) {
        return !value.empty() && value.find_first_of(L"*?;") == std::wstring_view::npos;
    };
    std::vector<std::u16string> own;
    const auto add = [&own](std::wstring_view name) {
        std::u16string key = FolderKey(name);
        if (!key.empty()) own.push_back(std::move(key));
    };
    if (namesOneFile(config.MainExe)) {
        add(config.MainExe);
    } else {
        for (const std::wstring& value : config.Files) {
            if (namesOneFile(value)) add(value);
        }
    }
    return std::any_of(manifestLines.begin(), manifestLines.end(), [&own](const std::wstring& line) {
        return std::find(own.begin(), own.end(), FolderKey(line)) != own.end();
    });
}

}  // namespace zel
