#include "uninstall/leftovers.h"

#include <windows.h>

#include <algorithm>

#include "uninstall/uninstall_steps.h"
#include "util/ascii.h"
#include "util/path_forms.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

constexpr size_t kNamedAtMost = 10;

bool Exists(const fs::path& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

Leftovers ScheduleLeftoversForRestart(const fs::path& installDir, const fs::path& ownPath,
                                      const std::vector<std::wstring>& entries, const std::vector<fs::path>& folders) {
    Leftovers leftovers;
    if (installDir.empty()) return leftovers;
    std::vector<fs::path> files;
    std::vector<fs::path> remainingFolders;
    for (const std::wstring& entry : entries) {
        const fs::path target = CanonicalOrEmpty(installDir / entry);
        if (target.empty() || !IsPathInside(installDir, target)) continue;
        if (!ownPath.empty() && EqualsIgnoreAsciiCase(target.native(), ownPath.native())) continue;
        if (!Exists(target)) continue;
        (IsDirectory(target) ? remainingFolders : files).push_back(target);
    }
    for (const fs::path& folder : folders) {
        if (IsDirectory(folder)) remainingFolders.push_back(folder);
    }
    std::sort(remainingFolders.begin(), remainingFolders.end());
    remainingFolders.erase(std::unique(remainingFolders.begin(), remainingFolders.end()), remainingFolders.end());
    std::stable_sort(remainingFolders.begin(), remainingFolders.end(),
                     [](const fs::path& a, const fs::path& b) { return a.native().size() > b.native().size(); });

    for (const fs::path& file : files) {
        leftovers.paths.push_back(file);
        if (!::MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) leftovers.allScheduled = false;
    }
    // The folders that held them go after them. A folder that also holds files
    // of the user's stays after the restart too: the system removes only empty
    // folders, and a folder is no leftover worth naming.
    if (!files.empty()) {
        for (const fs::path& folder : remainingFolders)
            ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return leftovers;
}

std::wstring LeftoversMessage(const Leftovers& leftovers) {
    std::wstring text =
        leftovers.allScheduled
            ? L"アプリケーションを削除しました。ただし、使用中のため削除できなかったファイルがあります。コンピューターを再起動すると削除が完了します。\n"
            : L"削除できなかったファイルがあります。アプリケーションを終了してから、次のファイルを手動で削除してください。\n";
    size_t named = 0;
    for (const fs::path& path : leftovers.paths) {
        if (named == kNamedAtMost) {
            text += L"\n…";
            break;
        }
        text += L"\n" + path.wstring();
        ++named;
    }
    return text;
}

}  // namespace zel
