#include "util/final_path.h"

#include "util/path_forms.h"

namespace zel {

UniqueKernelHandle OpenWithoutAccess(const std::wstring& path) {
    // Backup semantics open folders as well as files.
    return UniqueKernelHandle(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::wstring FinalPathOfHandle(HANDLE handle) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.assign(length + 1, L'\0');  // too small: length is the size needed, NUL included
    }
    return StripFinalPathPrefix(buffer);
}

}  // namespace zel
