#include "uninstall/uninstall_run.h"

#include <shlobj.h>
#include <windows.h>

#include <optional>
#include <system_error>

#include "config/text_encoding.h"
#include "install/files/installed_names.h"
#include "install/files/uninstall_exe_draft.h"
#include "install/registration/uninstall_entry.h"
#include "install/shortcuts/shortcut_removal.h"
#include "install/system_folder/system_folder.h"
#include "uninstall/folder_cleanup.h"
#include "uninstall/leftovers.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstall_steps.h"
#include "util/ascii.h"
#include "util/error_text.h"
#include "util/file_removal.h"
#include "util/known_folder.h"
#include "util/module_path.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace zel {

namespace {

constexpr wchar_t kTitle[] = L"アンインストール";
constexpr wchar_t kConfirmTitle[] = L"アンインストールの確認";

// What the run must know before it removes anything: the install folder and the
// list of what the install placed there.
struct WhatToRemove {
    std::filesystem::path installDir;  // canonical
    std::vector<std::wstring> entries;
};

// Reads what to remove. Where that cannot be read, returns the text of the box
// that says what is missing; the run then changes nothing and keeps the
// registration, so that it can be run again once the drive or file is back.
std::optional<std::wstring> ReadWhatToRemove(const std::wstring& installLocation, WhatToRemove& what) {
    // A relative location is never resolved against the current folder.
    if (!std::filesystem::path(installLocation).is_absolute()) {
        return L"インストール先 (InstallLocation) が完全なパスではありません: " + installLocation +
               L"\n削除するものが分からないため、何も削除していません。";
    }
    // A folder the file system cannot resolve (a drive that cannot be reached)
    // counts as gone.
    what.installDir = CanonicalOrEmpty(installLocation);
    const DWORD attributes =
        what.installDir.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(what.installDir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return L"インストール先のフォルダが見つかりません: " + installLocation +
               L"\n何も削除していません。ドライブまたはフォルダが戻ったら、アンインストールをもう一度実行できます。";
    }
    const std::filesystem::path manifest = what.installDir / kInstallManifestName;
    what.entries = ReadUtf8Lines(manifest);
    if (what.entries.empty()) {
        return L"install_manifest.txt が見つからないか空です: " + manifest.wstring() +
               L"\n削除するものが分からないため、何も削除していません。このファイルが戻ったら、アンインストールをもう一度"
               L"実行できます。";
    }
    return std::nullopt;
}

bool IsKeyTrimCharacter(wchar_t c) { return c == L' ' || c == L'\t' || c == L'"'; }

bool SamePathIgnoringCase(const std::filesystem::path& a, const std::filesystem::path& b) {
    return EqualsIgnoreAsciiCase(a.native(), b.native());
}

bool FolderOrKnownFolder(const std::filesystem::path& given, REFKNOWNFOLDERID id, std::filesystem::path& folder) {
    if (given.empty()) {
        folder = KnownFolderPath(id);
        return !folder.empty();
    }
    folder = given;
    return true;
}

// A directory is removed on its own when empty, otherwise with its contents.
void RemoveDirectoryOrTree(const std::filesystem::path& folder) {
    if (::RemoveDirectoryW(folder.c_str())) return;
    if (::GetLastError() == ERROR_DIR_NOT_EMPTY) RemoveFolderTree(folder);
}

// The path a file-system error names and the system's text for its code.
std::wstring FileSystemErrorText(const std::filesystem::filesystem_error& error) {
    return error.path1().wstring() + L": " + Win32ErrorText(static_cast<DWORD>(error.code().value()));
}

}  // namespace

std::wstring NormalizeProductKey(std::wstring key) {
    size_t first = 0;
    while (first < key.size() && IsKeyTrimCharacter(key[first])) ++first;
    size_t last = key.size();
    while (last > first && IsKeyTrimCharacter(key[last - 1])) --last;
    key = key.substr(first, last - first);
    if (!key.empty()) {
        if (key.front() != L'{') key.insert(key.begin(), L'{');
        if (key.back() != L'}') key.push_back(L'}');
    }
    return key;
}

std::filesystem::path CanonicalOrEmpty(const std::filesystem::path& path) {
    if (path.empty() || !path.is_absolute()) return {};
    std::filesystem::path canonical;
    if (!WeaklyCanonical(path, canonical) || !canonical.is_absolute()) return {};
    return canonical;
}

std::vector<std::filesystem::path> RemoveManifestEntries(const std::filesystem::path& installDir,
                                                         const std::filesystem::path& ownPath,
                                                         const std::vector<std::wstring>& entries) {
    std::vector<std::filesystem::path> folders;
    if (installDir.empty()) return folders;
    for (const auto& entry : entries) {
        const std::filesystem::path target = CanonicalOrEmpty(installDir / entry);
        if (target.empty()) continue;
        if (!IsPathInside(installDir, target)) continue;
        // The running uninstaller cannot delete itself; the self-removal does.
        if (!ownPath.empty() && SamePathIgnoringCase(target, ownPath)) continue;

        const DWORD attributes = ::GetFileAttributesW(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;  // gone, or its type cannot be read
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveDirectoryOrTree(target);
        } else {
            ::DeleteFileW(target.c_str());
        }

        // The folders between the entry and the install folder, for the clean-up.
        const size_t installLength = installDir.native().size();
        for (auto folder = target.parent_path();
             folder.has_relative_path() && !SamePathIgnoringCase(folder, installDir); folder = folder.parent_path()) {
            if (folder.native().size() <= installLength) break;  // never above the install folder
            folders.push_back(folder);
        }
    }
    return folders;
}

UninstallResult RunUninstall(const std::wstring& productKey, RunReporter& reporter, const UninstallOptions& options) {
    const std::wstring key = NormalizeProductKey(productKey);
    if (key.size() < 3) {
        reporter.Notify(NoticeKind::Error, kTitle, L"無効なアンインストール引数です。");
        return UninstallResult::InvalidKey;
    }

    UninstallEntry entry;
    if (!ReadUninstallEntry(key, entry)) {
        reporter.Notify(NoticeKind::Error, kTitle, L"インストール情報がレジストリに見つかりません。");
        return UninstallResult::NotRegistered;
    }
    const std::wstring& installLocation = entry.installLocation;
    if (installLocation.empty()) {
        reporter.Notify(NoticeKind::Error, kTitle, L"インストール先 (InstallLocation) を読み取れません。");
        return UninstallResult::Failed;
    }

    // Nothing is asked, and nothing changed, before what to remove is known.
    WhatToRemove what;
    if (const std::optional<std::wstring> missing = ReadWhatToRemove(installLocation, what)) {
        reporter.Notify(NoticeKind::Error, kTitle, *missing);
        return UninstallResult::Failed;
    }
    const std::filesystem::path& installDir = what.installDir;

    const std::wstring question = L"「" + installLocation + L"」からアプリケーションを削除します。よろしいですか？";
    if (!reporter.Ask(kConfirmTitle, question, true)) return UninstallResult::Declined;

    const std::filesystem::path ownPath =
        CanonicalOrEmpty(options.ownPath.empty() ? std::filesystem::path(OwnModulePath()) : options.ownPath);

    // Before the file pass, which deletes the system manifests. A status
    // error from the system-folder side does not stop the run.
    try {
        UnregisterSystemFiles(installDir);
    } catch (const std::filesystem::filesystem_error& error) {
        reporter.Log(L"[警告] システムフォルダのファイルの登録解除を完了できませんでした: " +
                     FileSystemErrorText(error));
    }
    try {
        RemoveSystemFileCopies(installDir);
    } catch (const std::filesystem::filesystem_error& error) {
        reporter.Log(L"[警告] システムフォルダのファイルの削除を完了できませんでした: " + FileSystemErrorText(error));
    }

    std::vector<std::filesystem::path> folders = RemoveManifestEntries(installDir, ownPath, what.entries);
    // Drafts of Uninstall.exe that killed install runs left: no setup of the
    // product runs beside its uninstall, and one being written is held open.
    RemoveUninstallExeDrafts(installDir, false);
    RemoveEmptiedFolders(installDir, folders);
    const Leftovers leftovers = ScheduleLeftoversForRestart(installDir, ownPath, what.entries, folders);

    std::filesystem::path folder;
    if (!entry.shortcutName.empty() && FolderOrKnownFolder(options.desktopFolder, FOLDERID_Desktop, folder)) {
        RemoveDesktopShortcut(folder, entry.shortcutName, installDir, installLocation);
    }
    if (!entry.startMenuGroupName.empty() && FolderOrKnownFolder(options.programsFolder, FOLDERID_Programs, folder)) {
        RemoveStartMenuGroup(folder, entry.startMenuGroupName, installDir, installLocation);
    }

    if (!DeleteUninstallEntry(key)) {
        reporter.Notify(NoticeKind::Warning, kTitle,
                        L"アンインストール用レジストリの削除に失敗しました。管理者として実行してください。");
    }

    if (leftovers.paths.empty()) {
        reporter.Notify(NoticeKind::Information, kTitle, L"アンインストールが完了しました。");
    } else {
        reporter.Notify(NoticeKind::Warning, kTitle, LeftoversMessage(leftovers));
    }

    if (!ownPath.empty() && SamePathIgnoringCase(installDir / kUninstallExeName, ownPath)) {
        StartSelfRemoval(ownPath);
    }
    if (!leftovers.allScheduled) return UninstallResult::Failed;
    return leftovers.paths.empty() ? UninstallResult::Removed : UninstallResult::RemovedAtRestart;
}

UninstallResult RunUninstall(const std::wstring& productKey, RunReporter& reporter) {
    return RunUninstall(productKey, reporter, UninstallOptions{});
}

}  // namespace zel
