// Windows paths: the lexical rules for paths held as text (splitting, normal
// form, relative form, confinement, the parent-reference test), portable so
// that they run the same in the native tests as in setup.exe and the builder;
// and, in path_forms_win.cpp, confinement the way the file system resolves
// paths (links and junctions followed), built on top of them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// A Windows path split into its root name ("C:", "\\server"), whether a root
// directory follows, and its names. "\" and "/" both separate; runs of
// separators count as one. trailingSeparator: the text ends in a separator
// after at least one name.
struct WindowsPathParts {
    std::wstring rootName;
    bool hasRootDirectory = false;
    std::vector<std::wstring> names;
    bool trailingSeparator = false;
};

WindowsPathParts SplitWindowsPath(std::wstring_view path);

// "." and ".." resolved, separators made "\" and single; ".." directly below a
// root directory is dropped; a trailing separator is dropped. An empty path
// stays empty; a relative path that resolves to nothing becomes ".".
std::wstring LexicallyNormalPath(std::wstring_view path);

// The path relative to base, element by element, letters compared without
// regard to ASCII case. Empty when the roots differ or only one of them has a
// root directory; "." when both name the same place.
std::wstring LexicallyRelativePath(std::wstring_view path, std::wstring_view base);

// The path lies strictly inside the folder, judged on their lexically normal
// forms: the relative path is neither empty nor "." and has no ".." element.
bool IsLexicallyInside(std::wstring_view folder, std::wstring_view path);

// An element of the path (root name, root directory or a name) is "..".
bool HasParentReferenceText(std::wstring_view path);

// Joins like path appending on Windows: a right-hand side with a root
// directory or another root name replaces (all or part of) the left; else a
// separator is put between where needed.
std::wstring AppendWindowsPath(std::wstring_view base, std::wstring_view rel);

// Last name of the path; empty when it ends in a separator or is a bare root.
std::wstring WindowsPathLeaf(std::wstring_view path);

// The path without its last name (root kept); the path itself when it has no name.
std::wstring WindowsPathParent(std::wstring_view path);

// Removes the prefixes that the final-path query puts in front of a path:
// "\\?\UNC\server\share" becomes "\\server\share", "\\?\C:\x" becomes "C:\x",
// and "\\?\GLOBALROOT" is dropped.
std::wstring StripFinalPathPrefix(std::wstring_view path);

// Confinement as the file system resolves paths (Win32).

// Longest existing leading part resolved by the file system, the rest appended,
// lexically normalised. False when the path cannot be resolved.
bool WeaklyCanonical(const std::filesystem::path& path, std::filesystem::path& result);
// The path lies strictly inside the folder (both in weakly canonical form).
bool IsPathInside(const std::filesystem::path& folder, const std::filesystem::path& path);
// A ".." element anywhere in the path.
bool HasParentReference(const std::filesystem::path& path);

}  // namespace zel
