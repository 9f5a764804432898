// Removal of the product's shortcuts at uninstall: only links that point into
// the install folder are deleted, so that a shared Start-menu group keeps other
// vendors' and the user's links and files, and a desktop file of the same name
// survives.
#pragma once

#include <filesystem>
#include <string>

namespace zel {

// Delete only the product's own links, those that point into installDir (the
// canonical install folder, empty when there is none) or, by their text, into
// the registered location (IsLinkInto): the desktop link under its name
// (".lnk" added) and under the name installations made before gave it; in the
// Start-menu group every such link, then the folders that end up empty, the
// group last.
void RemoveDesktopShortcut(const std::filesystem::path& desktopFolder, const std::wstring& shortcutName,
                           const std::filesystem::path& installDir, const std::wstring& location);
void RemoveStartMenuGroup(const std::filesystem::path& programsFolder, const std::wstring& groupName,
                          const std::filesystem::path& installDir, const std::wstring& location);

}  // namespace zel
