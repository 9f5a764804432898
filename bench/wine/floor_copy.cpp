// The plainest way to do the install run's copy: one CopyFileW per file of a
// folder tree. A floor for the install-copy benchmark.
//   floor_copy.exe <source-folder> <destination-folder>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    ::CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((from + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = CopyTree(from + L"\\" + name, to + L"\\" + name) && ok;
        } else {
            ok = ::CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE) && ok;
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: floor_copy <source-folder> <destination-folder>\n");
        return 2;
    }
    return CopyTree(argv[1], argv[2]) ? 0 : 1;
}
