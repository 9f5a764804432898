// The install run's one catch. Portable.
#pragma once

#include <filesystem>
#include <new>
#include <optional>
#include <string>

namespace zel {

inline constexpr wchar_t kUnexpectedInstallError[] = L"インストール中に予期しないエラーが発生しました。";

// Runs one install attempt (steps returns the text of its error box, or nothing
// after success). The steps report their own failures by result; the standard
// library raises file-system errors and allocation failure, and those end the
// attempt with the unexpected-error text, which the run offers to retry. Any
// other exception is a programming error that a retry cannot mend: it is not
// dressed up as a failure of the install and passes on.
template <typename Steps>
std::optional<std::wstring> CatchRunFailures(Steps&& steps) {
    try {
        return steps();
    } catch (const std::filesystem::filesystem_error&) {
        return kUnexpectedInstallError;
    } catch (const std::bad_alloc&) {
        return kUnexpectedInstallError;
    }
}

}  // namespace zel
