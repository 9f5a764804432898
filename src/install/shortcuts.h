// Desktop shortcut and Start-menu items (shell links).
#pragma once

#include <filesystem>
#include <string>

#include "config/setup_config.h"

namespace zel {

// folder joined with name, plus ".lnk" when the result has no extension.
std::filesystem::path LinkPathFor(const std::filesystem::path& folder, const std::wstring& name);

bool CreateShortcut(const std::filesystem::path& linkPath, const std::filesystem::path& targetPath,
                    const std::filesystem::path& workingDirectory, std::wstring& errorText);
bool CreateDesktopShortcut(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText);
bool CreateStartMenuItems(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText);

}  // namespace zel
