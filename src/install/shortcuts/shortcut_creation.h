// Desktop shortcut and Start-menu items (shell links).
#pragma once

#include <filesystem>
#include <string>

#include "config/setup_config.h"
#include "install/shortcuts/shortcut_names.h"

namespace zel {

bool CreateShortcut(const std::filesystem::path& linkPath, const std::filesystem::path& targetPath,
                    const std::filesystem::path& workingDirectory, std::wstring& errorText);
// The desktop link, the group and each item's link are made only where they
// stay inside the Desktop and Programs folders; other names are refused.
bool CreateDesktopShortcut(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText);
bool CreateStartMenuItems(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText);

}  // namespace zel
