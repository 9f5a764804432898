#include <windows.h>

#include "uninstall/folder_cleanup.h"

namespace zel {

void RemoveEmptiedFolders(const std::filesystem::path& installDir, std::vector<std::filesystem::path>& folders) {
    // RemoveDirectoryW removes empty folders only; a failure leaves the folder.
    CleanUpFolders(installDir, folders,
                   [](const std::filesystem::path& folder) { ::RemoveDirectoryW(folder.c_str()); });
}

}  // namespace zel
