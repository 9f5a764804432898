#include "install/files/uninstall_exe_draft.h"

#include <windows.h>

#include "util/file_removal.h"
#include "util/folder_entries.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

// A process of that id runs now. One that cannot be asked (access denied) counts
// as running, so that its draft is never taken from under it.
bool ProcessRuns(std::uint32_t processId) {
    UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;
    return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

void RemoveUninstallExeDrafts(const std::filesystem::path& installDir, bool keepRunning) {
    if (installDir.empty()) return;
    const std::uint32_t self = ::GetCurrentProcessId();
    ForEachFolderEntry(installDir.native(), [&](const std::wstring& path, const WIN32_FIND_DATAW& found) {
        if (IsFolder(found) || IsReparsePoint(found)) return;
        const std::optional<std::uint32_t> owner = UninstallExeDraftProcess(found.cFileName);
        if (!owner || *owner == self) return;
        if (keepRunning && ProcessRuns(*owner)) return;
        // A copy of a setup.exe started from a read-only medium is read-only
        // too. A draft still held open stays.
        DeleteFileAnyway(path);
    });
}

}  // namespace zel
