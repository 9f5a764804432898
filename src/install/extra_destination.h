// Mirroring "folder\*" payload folders into the folder that Korvel_10.ini's
// MstaFolder names.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zel {

bool MirrorToExtraFolders(HWND logTarget, const std::wstring& installDir, const std::vector<std::wstring>& copiedFiles,
                          const std::vector<std::wstring>& filesPatterns, std::wstring& errorText);

}  // namespace zel
