// Removing the folders that held the uninstalled files, deepest first, as far
// as they have become empty.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace zel {

// Sorts the list, drops duplicates and puts the longest paths first, so that
// every folder comes before its parent. Portable.
void OrderFoldersForRemoval(std::vector<std::filesystem::path>& folders);

// Orders the list in place and calls removeEmptyFolder for each folder except
// installDir. The remover is expected to remove only empty folders and to
// ignore failures; a folder that still holds something then keeps its
// ancestors too. Portable.
void CleanUpFolders(const std::filesystem::path& installDir, std::vector<std::filesystem::path>& folders,
                    const std::function<void(const std::filesystem::path&)>& removeEmptyFolder);

// CleanUpFolders with RemoveDirectoryW (Windows only).
void RemoveEmptiedFolders(const std::filesystem::path& installDir, std::vector<std::filesystem::path>& folders);

}  // namespace zel
