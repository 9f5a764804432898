#include "util/no_follow_write.h"

#include <algorithm>
#include <memory>
#include <string>

#include "util/final_path.h"
#include "util/path_forms.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

constexpr DWORD kCopyChunk = 1u << 20;

bool SameFinalPath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool ReadAttributes(HANDLE handle, FILE_ATTRIBUTE_TAG_INFO& info, DWORD& error) {
    if (::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof(info))) return true;
    error = ::GetLastError();
    return false;
}

// Links and junctions redirect; other reparse points (deduplicated or cloud
// files) hold their data in place.
bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& info) {
    return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(info.ReparseTag);
}

bool IsElsewhere(HANDLE handle, const fs::path& path) {
    const fs::path found = FinalPathOfHandle(handle);
    return found.empty() || !SameFinalPath(found.native(), LexicallyNormalPath(path.native()));
}

}  // namespace

fs::path FinalFolderPath(const fs::path& folder) {
    const UniqueKernelHandle handle = OpenWithoutAccess(folder.native());
    return handle ? fs::path(FinalPathOfHandle(handle.get())) : fs::path();
}

fs::path FinalFormOf(const fs::path& path) {
    const fs::path folder = FinalFolderPath(path.parent_path());
    return folder.empty() ? fs::path() : folder / path.filename();
}

bool IsLinkedAway(HANDLE handle, const fs::path& path) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    DWORD error = 0;
    return !ReadAttributes(handle, info, error) || IsLink(info) || IsElsewhere(handle, path);
}

bool CreateFolderNoFollow(const fs::path& folder, PSECURITY_DESCRIPTOR descriptor, UniqueKernelHandle& held,
                          bool* created, DWORD& error) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    // Whatever stands there (a link included) makes this fail: it is looked at below.
    const bool made = ::CreateDirectoryW(folder.c_str(), descriptor ? &attributes : nullptr) != FALSE;
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        error = ::GetLastError();
        return false;
    }
    if (created) *created = made;
    // Listing access makes the missing delete sharing count: a handle with
    // attribute access only does not stop a rename.
    UniqueKernelHandle handle(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) {
        error = ::GetLastError();
        return false;
    }
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!ReadAttributes(handle.get(), info, error)) return false;
    if (IsLink(info) || IsElsewhere(handle.get(), folder)) {
        error = kLinkInTheWay;
        return false;
    }
    if (!(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = ERROR_DIRECTORY;
        return false;
    }
    held = std::move(handle);
    return true;
}

bool CreateFoldersNoFollow(const fs::path& root, const fs::path& folder, std::vector<UniqueKernelHandle>& held,
                           fs::path& failedAt, DWORD& error) {
    const std::wstring relative = LexicallyRelativePath(folder.native(), root.native());
    if (relative == L".") return true;
    if (relative.empty() || HasParentReferenceText(relative)) {
        failedAt = folder;
        error = ERROR_BAD_PATHNAME;
        return false;
    }
    fs::path current = root;
    for (const std::wstring& name : SplitWindowsPath(relative).names) {
        current /= name;
        UniqueKernelHandle handle;
        if (!CreateFolderNoFollow(current, nullptr, handle, nullptr, error)) {
            failedAt = current;
            return false;
        }
        held.push_back(std::move(handle));
    }
    return true;
}

UniqueKernelHandle CreateFileNoFollow(const fs::path& file, DWORD& error) {
    // A new file first: that fails wherever anything stands, a link whose
    // target is missing included. What stands there is then opened, not
    // replaced, and emptied only after the checks.
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    UniqueKernelHandle handle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, kFlags, nullptr));
    const bool existed = !handle;
    if (existed) {
        const DWORD createError = ::GetLastError();
        if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS) {
            error = createError;
            return {};
        }
        handle.reset(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kFlags, nullptr));
        if (!handle) {
            // There, yet nothing to open: a link that leads nowhere.
            error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) error = kLinkInTheWay;
            return {};
        }
    }
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!ReadAttributes(handle.get(), info, error)) return {};
    if (IsLink(info) || IsElsewhere(handle.get(), file)) {
        // A link on the way that the platform followed anyway: the file this
        // call made at its far end goes again.
        if (!existed) {
            const fs::path madeAt = FinalPathOfHandle(handle.get());
            handle.reset();
            if (!madeAt.empty()) ::DeleteFileW(madeAt.c_str());
        }
        error = kLinkInTheWay;
        return {};
    }
    if (existed && (info.FileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY))) {
        error = ERROR_ACCESS_DENIED;
        return {};
    }
    if (existed && !::SetEndOfFile(handle.get())) {
        error = ::GetLastError();
        return {};
    }
    return handle;
}

bool WriteFileNoFollow(const fs::path& file, std::string_view bytes, DWORD& error) {
    UniqueKernelHandle handle = CreateFileNoFollow(file, error);
    if (!handle) return false;
    for (const char* data = bytes.data(); !bytes.empty();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 0x40000000u));
        DWORD written = 0;
        if (!::WriteFile(handle.get(), data, chunk, &written, nullptr) || written == 0) {
            error = ::GetLastError();
            return false;
        }
        data += written;
        bytes.remove_prefix(written);
    }
    // Closing can report a failure to write what the system still held.
    if (!::CloseHandle(handle.release())) {
        error = ::GetLastError();
        return false;
    }
    return true;
}

bool CopyFileNoFollow(const fs::path& source, const fs::path& target, DWORD& error) {
    UniqueKernelHandle input(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!input) {
        error = ::GetLastError();
        return false;
    }
    UniqueKernelHandle output = CreateFileNoFollow(target, error);
    if (!output) return false;
    const auto buffer = std::make_unique<char[]>(kCopyChunk);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(input.get(), buffer.get(), kCopyChunk, &read, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        if (read == 0) break;
        DWORD written = 0;
        if (!::WriteFile(output.get(), buffer.get(), read, &written, nullptr) || written != read) {
            error = ::GetLastError();
            return false;
        }
    }
    if (!::CloseHandle(output.release())) {
        error = ::GetLastError();
        return false;
    }
    return true;
}

}  // namespace zel
