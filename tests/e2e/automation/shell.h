// Shell facts an install leaves behind: known folders and shortcut contents.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <filesystem>
#include <optional>
#include <string>

namespace zel::e2e {

// Empty when the folder cannot be obtained.
std::filesystem::path KnownFolder(REFKNOWNFOLDERID id);

struct ShortcutContent {
    std::wstring target;
    std::wstring workingDirectory;
    std::wstring iconPath;
    int iconIndex = -1;
    std::wstring arguments;
};

// Loads a .lnk file through the shell-link object. Needs COM on the calling thread.
std::optional<ShortcutContent> ReadShortcut(const std::filesystem::path& link);

}  // namespace zel::e2e
