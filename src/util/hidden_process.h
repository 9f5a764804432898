// Starting a helper program with no window of its own.
#pragma once

#include <windows.h>

#include <string>

#include "util/unique_handle.h"

namespace zel {

// Starts the command line with its window hidden and no console. application
// may be empty (the program is then the command line's first token);
// currentFolder may be empty (the caller's). On success the process and thread
// handles are in process; false leaves GetLastError() as the system set it.
bool StartHiddenProcess(const std::wstring& application, std::wstring commandLine, const std::wstring& currentFolder,
                        UniqueProcessInformation& process);

}  // namespace zel
