#include "install/extra_destination/extra_destination.h"

#include <windows.h>
// knownfolders.h and shlobj.h need the types windows.h declares.
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <system_error>

#include "config/setup_config.h"
#include "config/text_encoding.h"
#include "install/destination/folder_security.h"
#include "util/ascii.h"
#include "util/error_text.h"
#include "util/known_folder.h"
#include "util/no_follow_write.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

constexpr wchar_t kSettingsFile[] = L"Korvel_10.ini";
constexpr int kCopyAttempts = 5;
constexpr DWORD kSharingRetryDelayMs = 200;

// Rights that let their holder change the settings file: on the file itself,
// write or replace it; on its folder, put another file in its place (add one
// where it was, delete or rename it) or take the folder; on a folder further
// up, move the path below aside (rename or delete its child on the path,
// rename the folder itself) or take the folder. Adding a new folder, as every
// user may at a drive's root, changes nothing on an existing path.
ACCESS_MASK ChangeRights(SettingsListPlace place) {
    constexpr ACCESS_MASK kTake = WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
    switch (place) {
        case SettingsListPlace::File:
            return FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | GENERIC_WRITE | kTake;
        case SettingsListPlace::Folder:
            return FILE_ADD_FILE | FILE_DELETE_CHILD | DELETE | GENERIC_WRITE | kTake;
        case SettingsListPlace::FolderAbove:
            break;
    }
    return FILE_DELETE_CHILD | DELETE | kTake;
}

// The object's own list lets standard users change the settings file from
// that place; a list that cannot be read counts as letting them.
bool ObjectLetsStandardUsersChange(const fs::path& path, SettingsListPlace place) {
    return StandardUsersHaveRights(path, ChangeRights(place));
}

// The MstaFolder value of one settings file, or empty when the file is missing
// or standard users could have written it (logged: the elevated run does not
// let it choose where product files go).
std::wstring TrustedMstaFolderValue(RunReporter* logTarget, const fs::path& settingsFile) {
    std::error_code ec;
    if (!fs::is_regular_file(settingsFile, ec)) return {};
    if (StandardUsersCanChangeSettings(settingsFile)) {
        Log(logTarget, L"[警告] 標準ユーザーが書き換えられる Korvel_10.ini のため MstaFolder を使いません: " +
                           settingsFile.wstring());
        return {};
    }
    return ReadMstaFolderValue(settingsFile);
}

bool IsFolder(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates the folder and every missing parent, opening each folder below the
// drive without following a link; error: the code of the step that failed.
bool CreateFolderTree(const fs::path& folder, DWORD& error) {
    const fs::path parent = folder.parent_path();
    if (parent.empty() || parent == folder) return IsFolder(folder);
    if (!CreateFolderTree(parent, error)) return false;
    UniqueKernelHandle held;
    const fs::path finalForm = FinalFormOf(folder);
    if (!finalForm.empty() && CreateFolderNoFollow(finalForm, nullptr, held, nullptr, error)) return true;
    if (finalForm.empty()) error = ::GetLastError();
    return false;
}

// Same volume and same file index: two names of one file (hard links, another
// spelling of the same folder, a mapped drive).
bool FileSystemSaysSame(const fs::path& a, const fs::path& b) {
    auto identity = [](const fs::path& path, BY_HANDLE_FILE_INFORMATION& info) {
        UniqueKernelHandle file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && ::GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION infoA{};
    BY_HANDLE_FILE_INFORMATION infoB{};
    if (!identity(a, infoA) || !identity(b, infoB)) return false;
    return infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

std::wstring ComparableForm(const fs::path& path) {
    fs::path canonical;
    if (WeaklyCanonical(path, canonical)) return canonical.native();
    return LexicallyNormalPath(path.native());
}

bool IsSameFile(const fs::path& source, const fs::path& target) {
    if (FileSystemSaysSame(source, target)) return true;
    return EqualsIgnoreAsciiCase(ComparableForm(source), ComparableForm(target));
}

// Copies over an existing file. A target that another program holds open is
// given a few more chances; returns 0 or the last error code.
DWORD CopyWithSharingRetry(const fs::path& source, const fs::path& target) {
    DWORD error = 0;
    for (int attempt = 1; attempt <= kCopyAttempts; ++attempt) {
        const fs::path finalTarget = FinalFormOf(target);
        if (finalTarget.empty()) return ::GetLastError();
        if (CopyFileNoFollow(source, finalTarget, error)) return 0;
        if (error != ERROR_SHARING_VIOLATION || attempt == kCopyAttempts) break;
        ::Sleep(kSharingRetryDelayMs);
    }
    return error;
}

bool Fail(const std::wstring& target, const std::wstring& detail, std::wstring& errorText) {
    errorText = L"MstaFolder 先へのコピーに失敗しました: " + target;
    if (!detail.empty()) errorText += L"\n" + detail;
    return false;
}

void RefuseSystemLocations(RunReporter* logTarget, std::vector<std::wstring>& extraFolders) {
    std::erase_if(extraFolders, [logTarget](const std::wstring& folder) {
        if (!IsSystemLocation(folder)) return false;
        Log(logTarget, L"[警告] MstaFolder の指定先はシステムのフォルダのためコピーしません: " + folder);
        return true;
    });
}

}  // namespace

std::wstring ReadMstaFolderValue(const fs::path& settingsFile) {
    if (settingsFile.empty()) return {};
    std::error_code ec;
    if (!fs::is_regular_file(settingsFile, ec)) return {};
    return MstaFolderValueFromText(LoadTextFileWithCp932Fallback(settingsFile));
}

void AddExtraFolder(std::vector<std::wstring>& extraFolders, const std::wstring& value) {
    const std::wstring trimmed = TrimWhitespace(value);
    if (trimmed.empty()) return;
    fs::path canonical;
    const std::wstring folder = WeaklyCanonical(trimmed, canonical) ? canonical.native() : LexicallyNormalPath(trimmed);
    const bool known = std::any_of(extraFolders.begin(), extraFolders.end(), [&](const std::wstring& existing) {
        return EqualsIgnoreAsciiCase(existing, folder);
    });
    if (!known) extraFolders.push_back(folder);
}

bool AccessListLetsStandardUsersChange(const std::wstring& sddl, SettingsListPlace place) {
    return SddlGrantsStandardUsers(sddl, ChangeRights(place));
}

bool StandardUsersCanChangeSettings(const fs::path& settingsFile) {
    // The path as named and, where links lead elsewhere, the file they lead
    // to: a standard user who can change either decides what is read.
    auto chainLetsChange = [](const fs::path& file) {
        if (ObjectLetsStandardUsersChange(file, SettingsListPlace::File)) return true;
        fs::path folder = file.parent_path();
        if (ObjectLetsStandardUsersChange(folder, SettingsListPlace::Folder)) return true;
        for (fs::path above = folder.parent_path(); above != folder; folder = above, above = folder.parent_path()) {
            if (ObjectLetsStandardUsersChange(above, SettingsListPlace::FolderAbove)) return true;
        }
        return false;
    };
    fs::path resolved;
    std::error_code ec;
    const fs::path absolute = fs::absolute(settingsFile, ec);
    if (ec || !WeaklyCanonical(settingsFile, resolved)) return true;
    const fs::path named(LexicallyNormalPath(absolute.native()));
    if (chainLetsChange(resolved)) return true;
    return !EqualsIgnoreAsciiCase(named.native(), resolved.native()) && chainLetsChange(named);
}

void FindExtraFolders(const std::wstring& installDir, std::vector<std::wstring>& extraFolders, RunReporter* logTarget) {
    extraFolders.clear();
    AddExtraFolder(extraFolders, TrustedMstaFolderValue(logTarget, fs::path(installDir) / kSettingsFile));
    const std::wstring localAppData = KnownFolderPath(FOLDERID_LocalAppData);
    if (!localAppData.empty()) {
        AddExtraFolder(extraFolders,
                       TrustedMstaFolderValue(logTarget, fs::path(localAppData) / L"Korvel" / kSettingsFile));
    }
}

bool EnsureFolder(const fs::path& folder, std::wstring& errorText) {
    if (folder.empty()) return true;
    DWORD error = 0;
    if (CreateFolderTree(folder, error)) return true;
    errorText = L"フォルダを作成できませんでした: " + folder.wstring();
    if (error != 0) errorText += L" — " + Win32ErrorText(error);
    return false;
}

bool MirrorToExtraFolders(RunReporter* logTarget, const std::wstring& installDir,
                          const std::vector<std::wstring>& copiedFiles, const std::vector<std::wstring>& filesPatterns,
                          std::wstring& errorText) {
    errorText.clear();
    const std::vector<std::wstring> folderNames = MirrorFolderNames(filesPatterns);
    if (folderNames.empty()) return true;

    std::vector<std::wstring> extraFolders;
    FindExtraFolders(installDir, extraFolders, logTarget);
    if (extraFolders.empty()) {
        Log(logTarget,
            L"[情報] MstaFolder ミラー: インストール先または %LocalAppData%\\Korvel\\ の Korvel_10.ini が無いか、MstaFolder= が空のためスキップしました。");
        return true;
    }
    // The settings file may be the user's own, writable without elevation: it
    // never steers the installer's writes into the system's own folders.
    RefuseSystemLocations(logTarget, extraFolders);

    for (const std::wstring& copied : copiedFiles) {
        const std::wstring relative = ReplaceAll(copied, L'/', L'\\');
        if (relative.empty()) continue;
        std::wstring matchedName;
        std::wstring remainder;
        for (const std::wstring& name : folderNames) {
            if (MatchMirrorFolder(relative, name, remainder)) {
                matchedName = name;
                break;
            }
        }
        if (matchedName.empty()) continue;

        const fs::path source = fs::path(installDir) / relative;
        std::error_code ec;
        if (!fs::is_regular_file(source, ec)) continue;

        for (const std::wstring& extraFolder : extraFolders) {
            const std::wstring target = MirrorTargetPath(extraFolder, relative, matchedName, remainder, folderNames);
            if (IsSameFile(source, target)) {
                Log(logTarget, L"MstaFolder 先へコピー省略 (インストール先と同一): " + target);
                continue;
            }
            std::wstring detail;
            if (!EnsureFolder(fs::path(target).parent_path(), detail)) return Fail(target, detail, errorText);
            // A read-only file there is another program's (a mirrored copy is
            // never read-only: it takes the attributes of the installed file).
            if (const DWORD attributes = ::GetFileAttributesW(target.c_str());
                attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
                !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                Log(logTarget, L"[警告] 読み取り専用のファイルがあるため MstaFolder 先へコピーしません: " + target);
                continue;
            }
            if (const DWORD error = CopyWithSharingRetry(source, target); error != 0) {
                return Fail(target, Win32ErrorText(error), errorText);
            }
            Log(logTarget, L"MstaFolder 先へコピー: " + target);
        }
    }
    return true;
}

}  // namespace zel
