// Deleting files and folder trees that may carry the read-only attribute.
#pragma once

#include <windows.h>

#include <filesystem>

namespace zel {

// Takes the read-only attribute off the entry, if it has it.
void ClearReadOnly(const std::filesystem::path& path);

// Deletes a file, clearing its read-only attribute first; false when it stays.
bool DeleteFileAnyway(const std::filesystem::path& file);

// Deletes everything below folder, then folder, read-only entries included.
// Links and junctions are removed as themselves; what they point to is never
// entered. Failures are ignored: what cannot be deleted stays.
void RemoveFolderTree(const std::filesystem::path& folder);

}  // namespace zel
