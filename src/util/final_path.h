// Where a file or folder really is: the path the file system reports for an
// open handle, links and junctions on the way resolved.
#pragma once

#include <windows.h>

#include <string>

#include "util/unique_handle.h"

namespace zel {

// Opens an existing file or folder without asking for any access, so that it
// opens whatever sharing other processes asked for; an empty handle (the reason
// in GetLastError) when it cannot.
UniqueKernelHandle OpenWithoutAccess(const std::wstring& path);

// The path of what handle is open on, without the "\\?\" family of prefixes;
// empty when the system cannot tell it.
std::wstring FinalPathOfHandle(HANDLE handle);

}  // namespace zel
