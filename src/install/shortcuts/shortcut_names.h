// Where the product's shortcuts may lie and how to tell them from others: link
// file names, confinement of the configured names, and ownership of a link
// file by the folder its target lies in.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zel {

// The link file for a name: folder joined with the name, with ".lnk" added
// unless the name already ends in it; Windows treats nothing else as a shortcut.
std::filesystem::path LinkPathFor(const std::filesystem::path& folder, const std::wstring& name);

// The name installations made before gave the link: ".lnk" added only when the
// name had no extension ("Tool 1.5" stayed "Tool 1.5"). The uninstall looks
// for this form too.
std::filesystem::path LegacyLinkPathFor(const std::filesystem::path& folder, const std::wstring& name);

// A name that, joined to a folder, stays below it: not empty, relative, without
// a drive, root, stream (":"), "." or ".." element.
bool IsConfinedName(const std::wstring& name);

// The target a shell link file names, read through the shell-link object (COM
// must be initialised): its stored path and the path of its item list, where
// present. False when the file is no shell link or names nothing.
bool ReadLinkTargets(const std::filesystem::path& link, std::vector<std::filesystem::path>& targets);

// The link is the product's: a shell link whose target lies inside the folder,
// as the file system resolves both, or, by their text, inside the location as
// registered. The text alone still tells the product's links when the folder
// or its drive is gone or the location cannot be resolved (folder empty).
bool IsLinkInto(const std::filesystem::path& link, const std::filesystem::path& folder, const std::wstring& location);

}  // namespace zel
