#include "install/files/copy_failure.h"

#include "util/error_text.h"

namespace zel {

std::wstring CopyFailureLine(const std::wstring& rel, const std::filesystem::path& destination, DWORD error) {
    return L"[エラー] コピーできませんでした: " + rel + L" (" + destination.wstring() + L"): " + Win32ErrorText(error);
}

}  // namespace zel
