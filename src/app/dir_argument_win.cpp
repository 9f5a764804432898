#include "app/dir_argument.h"

#include <filesystem>

#include "app/command_line.h"
#include "install/destination/destination_rules.h"

namespace zel {

bool CheckDirArgument(const std::wstring& value, std::wstring& folder, std::wstring& errorText) {
    if (!IsAbsoluteWindowsPath(value)) {
        errorText = L"/dir には絶対パスを指定してください: " + value;
        return false;
    }
    std::filesystem::path normal = std::filesystem::path(value).lexically_normal();
    // "C:\Apps\Zel\" and "C:\Apps\Zel" are one folder; a root keeps its separator.
    if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
    folder = normal.wstring();
    // What the Destination page refuses for the text alone (no drive, names a
    // folder cannot have, too long for the uninstaller, a bare drive) is refused
    // here before anything is extracted.
    std::wstring problem;
    if (!CheckDestinationText(folder, problem)) {
        errorText = L"/dir のフォルダを使えません (" + value + L"): " + problem;
        return false;
    }
    return true;
}

}  // namespace zel
