// Which payload files a [Files] pattern selects. Portable, so that the installer
// and InstallerBuilder's check can never disagree.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// rel: a path relative to the payload's files folder; pattern: one [Files] value.
// Subtree rule ("Doc\*"), DOS wildcard rule (* and ? over the whole path, "*"
// crossing "\"), else exact match; ASCII letters folded; "/" taken as "\".
bool MatchFilesPattern(std::wstring_view rel, std::wstring_view pattern);

// DOS-style wildcard match of a whole text: '*' any run (also across '\'), '?'
// exactly one character, ASCII letters folded.
bool MatchDosWildcard(std::wstring_view text, std::wstring_view pattern);

// LicenseFile relative to the payload's files folder ("files\" prefix removed).
std::wstring LicenseRelativePath(std::wstring_view licenseFile);

}  // namespace zel
