// Walking the entries of one folder with the find API, without "." and "..".
#pragma once

#include <windows.h>

#include <string>

#include "util/unique_handle.h"

namespace zel {

// Calls visit(full path, find data) for each entry directly in folder; nothing
// when the folder cannot be listed. The search handle is closed before return.
template <typename Visit>
void ForEachFolderEntry(const std::wstring& folder, Visit&& visit) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(
        ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!search) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        visit(folder + L"\\" + name, static_cast<const WIN32_FIND_DATAW&>(found));
    } while (::FindNextFileW(search.get(), &found));
}

// The entry is a link or junction: removed as itself, never entered.
inline bool IsReparsePoint(const WIN32_FIND_DATAW& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

inline bool IsFolder(const WIN32_FIND_DATAW& found) { return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace zel
