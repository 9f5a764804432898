#include "install/files/copy_failure.h"

#include <system_error>

#include "util/error_text.h"

namespace zel {

std::wstring CopyFailureLine(const std::wstring& rel, const std::filesystem::path& destination, DWORD error) {
    return L"[エラー] コピーできませんでした: " + rel + L" (" + destination.wstring() + L"): " + Win32ErrorText(error);
}

void FailCopy(RunReporter& reporter, const std::wstring& rel, const std::filesystem::path& source,
              const std::filesystem::path& destination, DWORD error) {
    reporter.Log(CopyFailureLine(rel, destination, error));
    throw std::filesystem::filesystem_error("cannot copy file", source, destination,
                                            std::error_code(static_cast<int>(error), std::system_category()));
}

}  // namespace zel
