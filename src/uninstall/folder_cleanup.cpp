#include "uninstall/folder_cleanup.h"

#include <algorithm>

namespace zel {

void OrderFoldersForRemoval(std::vector<std::filesystem::path>& folders) {
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    // A folder's path text is always longer than its parent's, so longest first
    // visits every folder before its parent.
    std::stable_sort(folders.begin(), folders.end(),
                     [](const std::filesystem::path& a, const std::filesystem::path& b) {
                         return a.native().size() > b.native().size();
                     });
}

void CleanUpFolders(const std::filesystem::path& installDir, std::vector<std::filesystem::path>& folders,
                    const std::function<void(const std::filesystem::path&)>& removeEmptyFolder) {
    OrderFoldersForRemoval(folders);
    for (const auto& folder : folders) {
        if (folder == installDir) continue;  // the install folder always stays
        removeEmptyFolder(folder);
    }
}

}  // namespace zel
