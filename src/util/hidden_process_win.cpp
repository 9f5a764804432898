#include "util/hidden_process.h"

namespace zel {

bool StartHiddenProcess(const std::wstring& application, std::wstring commandLine, const std::wstring& currentFolder,
                        UniqueProcessInformation& process) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    // CreateProcessW may write into the command line: it gets this writable copy.
    return ::CreateProcessW(application.empty() ? nullptr : application.c_str(), commandLine.data(), nullptr, nullptr,
                            FALSE, CREATE_NO_WINDOW, nullptr, currentFolder.empty() ? nullptr : currentFolder.c_str(),
                            &startup, process.put()) != 0;
}

}  // namespace zel
