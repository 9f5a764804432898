#include "install/shortcuts/shortcut_removal.h"

#include <windows.h>

#include <filesystem>
#include <string>

#include "install/shortcuts/shortcut_names.h"
#include "util/folder_entries.h"
#include "util/path_forms.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

// Where the product's links point: the canonical install folder and the
// location as registered.
struct ProductPlace {
    const fs::path& installDir;
    const std::wstring& location;
};

void DeleteIfOwnLink(const fs::path& link, const ProductPlace& place) {
    if (IsLinkInto(link, place.installDir, place.location)) ::DeleteFileW(link.c_str());
}

// Deletes the product's links below folder and removes the folders that end up
// empty, deepest first, folder itself last. Links and junctions are left alone:
// never entered, never deleted.
void RemoveOwnLinksBelow(const fs::path& folder, const ProductPlace& place) {
    ForEachFolderEntry(folder.native(), [&place](const std::wstring& child, const WIN32_FIND_DATAW& found) {
        if (IsReparsePoint(found)) return;
        if (IsFolder(found)) {
            RemoveOwnLinksBelow(child, place);
        } else {
            DeleteIfOwnLink(child, place);
        }
    });
    ::RemoveDirectoryW(folder.c_str());  // only when empty
}

}  // namespace

void RemoveDesktopShortcut(const fs::path& desktopFolder, const std::wstring& shortcutName, const fs::path& installDir,
                           const std::wstring& location) {
    if (desktopFolder.empty() || shortcutName.empty()) return;
    // The name as links are made now, and as installations made before named it.
    const fs::path links[] = {LinkPathFor(desktopFolder, shortcutName), LegacyLinkPathFor(desktopFolder, shortcutName)};
    for (const fs::path& link : links) {
        // A name that climbs out of the desktop never deletes a file elsewhere.
        if (IsPathInside(desktopFolder, link)) DeleteIfOwnLink(link, ProductPlace{installDir, location});
    }
}

void RemoveStartMenuGroup(const fs::path& programsFolder, const std::wstring& groupName, const fs::path& installDir,
                          const std::wstring& location) {
    if (programsFolder.empty() || groupName.empty()) return;
    const fs::path group = programsFolder / groupName;
    // A group name such as ".." or an absolute path would otherwise reach the
    // whole Start menu, or any folder.
    if (!IsPathInside(programsFolder, group)) return;
    const DWORD attributes = ::GetFileAttributesW(group.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return;
    }
    RemoveOwnLinksBelow(group, ProductPlace{installDir, location});
}

}  // namespace zel
