// Which installed files are mirrored into the MstaFolder destination and where
// each one lands; how the MstaFolder value is found in Korvel_10.ini's text.
// Portable: plain text rules over Windows-style paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel {

// Folder names of the [Files] patterns of the form "name\*" (or "name/*") whose
// name has no separator, in file order, without case-insensitive duplicates.
std::vector<std::wstring> MirrorFolderNames(const std::vector<std::wstring>& filesPatterns);

// The relative path lies in the folder: "name\rest" gives rest as remainder,
// the name itself gives an empty remainder. Letters compared without regard to
// ASCII case.
bool MatchMirrorFolder(std::wstring_view relativePath, std::wstring_view folderName, std::wstring& remainder);

// Where a mirrored file goes below one extra folder. An extra folder that is
// itself the matched mirror folder takes the remainder directly; one named after
// another mirror folder sends the file to its sibling folder; any other takes
// the whole relative path.
std::wstring MirrorTargetPath(std::wstring_view extraFolder, std::wstring_view relativePath,
                              std::wstring_view matchedName, std::wstring_view remainder,
                              const std::vector<std::wstring>& folderNames);

// The value of the first "MstaFolder=" line of a settings text (any section,
// key in any letter case), trimmed, surrounding double quotes removed. Empty
// when no line carries the key; an empty value ends the search as well.
std::wstring MstaFolderValueFromText(std::wstring_view text);

}  // namespace zel
