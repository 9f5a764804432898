#include "util/known_folder.h"

#include "util/unique_handle.h"

namespace zel {

std::wstring KnownFolderPath(REFKNOWNFOLDERID id) {
    UniqueCoTaskString path;
    if (FAILED(::SHGetKnownFolderPath(id, 0, nullptr, path.put())) || !path) return {};
    return path.get();
}

std::wstring WindowsFolderPath() {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

}  // namespace zel
