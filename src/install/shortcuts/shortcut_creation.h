// Desktop shortcut and Start-menu items (shell links).
#pragma once

#include <filesystem>
#include <string>

#include "config/setup_config.h"
#include "install/shortcuts/shortcut_names.h"

namespace zel {

// targetMayBeMissing: the link is made also while the target is not there yet.
bool CreateShortcut(const std::filesystem::path& linkPath, const std::filesystem::path& targetPath,
                    const std::filesystem::path& workingDirectory, std::wstring& errorText,
                    bool targetMayBeMissing = false);
// The desktop link, the group and each item's link are made only where they
// stay inside the Desktop and Programs folders; other names are refused.
bool CreateDesktopShortcut(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText);
// An item that links to the install folder's Uninstall.exe is made whether or
// not that copy is there yet. The first item that fails stops the step; the
// error text is its label and the reason in brackets.
bool CreateStartMenuItems(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText);

}  // namespace zel
