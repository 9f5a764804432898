#include "uninstall/self_removal.h"

#include <windows.h>

#include "util/hidden_process.h"
#include "util/unique_handle.h"

namespace zel {

std::wstring SelfRemovalCommandLine(const std::filesystem::path& file) {
    // Two echo requests to the loopback address give a delay of about one
    // second, time enough for the uninstaller to exit before "del" runs. /d
    // skips the AutoRun commands of the registry, which a user who is not an
    // administrator can set for this elevated interpreter; /v:off keeps a "!"
    // in the path literal whatever the registry asks for delayed expansion.
    return L"cmd.exe /d /v:off /c ping 127.0.0.1 -n 2 >nul & del /f /q \"" + file.native() + L"\"";
}

bool SelfRemovalNeedsRestart(const std::filesystem::path& file) {
    // cmd expands %NAME% even inside double quotes, so "del" would be given
    // another path (or none) and the file would stay.
    return file.native().find(L'%') != std::wstring::npos;
}

void StartSelfRemoval(const std::filesystem::path& file) {
    if (SelfRemovalNeedsRestart(file)) {
        // The system deletes the file early in the next start, before anything
        // can hold it open. Failure is not reported, like a failed start below.
        ::MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    // The interpreter is started by its full path and runs in the system
    // folder: a bare "cmd.exe" would be looked up in the uninstaller's own
    // folder first, and "ping" in the current folder, and the install folder
    // may be writable by users who are not administrators.
    wchar_t systemFolder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring interpreter = std::wstring(systemFolder, length) + L"\\cmd.exe";

    UniqueProcessInformation process;
    // The handles are closed at once by the owner; the command outlives us.
    StartHiddenProcess(interpreter, SelfRemovalCommandLine(file), std::wstring(systemFolder, length), process);
}

}  // namespace zel
