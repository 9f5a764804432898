// Plays the installed uninstaller at its very end.
//   probe self   starts the self-removal of its own file and exits at once
//   probe bare   starts "cmd.exe /c exit 0" by bare name, as a plain
//                CreateProcessW without application name would, and waits
#include <windows.h>

#include <string>

#include "uninstall/self_removal.h"
#include "util/unique_handle.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring mode = argv[1];
    if (mode == L"self") {
        wchar_t buffer[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 2;
        zel::StartSelfRemoval(std::wstring(buffer, length));
        return 0;
    }
    if (mode == L"bare") {
        wchar_t commandLine[] = L"cmd.exe /c exit 0";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        zel::UniqueProcessInformation process;
        if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                            process.put())) {
            return 3;
        }
        WaitForSingleObject(process.process(), 10000);
        return 0;
    }
    return 2;
}
