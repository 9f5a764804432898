#include "util/file_removal.h"

#include "util/folder_entries.h"

namespace zel {
namespace {

void ClearReadOnly(const std::filesystem::path& path, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

}  // namespace

void ClearReadOnly(const std::filesystem::path& path) { ClearReadOnly(path, ::GetFileAttributesW(path.c_str())); }

bool DeleteFileAnyway(const std::filesystem::path& file) {
    ClearReadOnly(file);
    return ::DeleteFileW(file.c_str()) != 0;
}

void RemoveFolderTree(const std::filesystem::path& folder) {
    ForEachFolderEntry(folder.native(), [](const std::wstring& child, const WIN32_FIND_DATAW& found) {
        ClearReadOnly(child, found.dwFileAttributes);
        if (IsFolder(found)) {
            if (!IsReparsePoint(found)) RemoveFolderTree(child);
            ::RemoveDirectoryW(child.c_str());
        } else {
            ::DeleteFileW(child.c_str());
        }
    });
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace zel
