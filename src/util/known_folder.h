// The system's own folders, looked up once in one place.
#pragma once

#include <windows.h>
// After windows.h
#include <shlobj.h>

#include <string>

namespace zel {

// The known folder's path, or empty when the system has none for this user.
std::wstring KnownFolderPath(REFKNOWNFOLDERID id);

// The Windows folder (shared by every session, also under Terminal Services), or
// empty when it cannot be read.
std::wstring WindowsFolderPath();

}  // namespace zel
