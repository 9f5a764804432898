#include "util/path_forms.h"

#include <windows.h>

#include <string>
#include <vector>

#include "util/final_path.h"
#include "util/unique_handle.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

// Errors of opening a path that mean "nothing by this name", so that the walk
// towards the existing prefix goes one level up.
bool IsMissingError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_NOT_READY:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_DIRECTORY:
            return true;
        default:
            return false;
    }
}

// The final path of an existing file or folder as the file system reports it,
// links resolved, without the "\\?\" family of prefixes.
enum class FinalPathResult { Resolved, Missing, Failed };
FinalPathResult FinalPath(const std::wstring& path, std::wstring& finalPath) {
    const UniqueKernelHandle file = OpenWithoutAccess(path);
    if (!file) return IsMissingError(::GetLastError()) ? FinalPathResult::Missing : FinalPathResult::Failed;
    finalPath = FinalPathOfHandle(file.get());
    return finalPath.empty() ? FinalPathResult::Failed : FinalPathResult::Resolved;
}

}  // namespace

bool WeaklyCanonical(const fs::path& path, fs::path& result) {
    result.clear();
    if (path.empty()) return false;
    // Absolute, with "." and ".." taken away as Windows itself does before it
    // opens a path.
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return false;
    full.resize(length);
    full = LexicallyNormalPath(full);

    // Walk up to the longest leading part that exists and let the file system
    // resolve it; the missing rest is appended as it is.
    std::wstring head = full;
    std::vector<std::wstring> rest;
    std::wstring resolved;
    for (;;) {
        const FinalPathResult found = FinalPath(head, resolved);
        if (found == FinalPathResult::Resolved) break;
        if (found == FinalPathResult::Failed) return false;
        const std::wstring parent = WindowsPathParent(head);
        if (parent == head || parent.empty()) {
            resolved = LexicallyNormalPath(head);  // nothing of it exists, not even the root
            break;
        }
        rest.push_back(WindowsPathLeaf(head));
        head = parent;
    }
    for (auto name = rest.rbegin(); name != rest.rend(); ++name) resolved = AppendWindowsPath(resolved, *name);
    result = LexicallyNormalPath(resolved);
    return !result.empty();
}

bool IsPathInside(const fs::path& folder, const fs::path& path) {
    fs::path canonicalFolder;
    fs::path canonicalPath;
    if (!WeaklyCanonical(folder, canonicalFolder) || !WeaklyCanonical(path, canonicalPath)) return false;
    return IsLexicallyInside(canonicalFolder.native(), canonicalPath.native());
}

bool HasParentReference(const fs::path& path) { return HasParentReferenceText(path.native()); }

}  // namespace zel
