// Confining paths to a folder the way the file system resolves them: links and
// junctions followed, "." and ".." taken away. The lexical rules these build on
// are in path_forms.h.
#pragma once

#include <filesystem>

namespace zel {

// Longest existing leading part resolved by the file system, the rest appended,
// lexically normalised. False when the path cannot be resolved.
bool WeaklyCanonical(const std::filesystem::path& path, std::filesystem::path& result);
// The path lies strictly inside the folder (both in weakly canonical form).
bool IsPathInside(const std::filesystem::path& folder, const std::filesystem::path& path);
// A ".." element anywhere in the path.
bool HasParentReference(const std::filesystem::path& path);

}  // namespace zel
