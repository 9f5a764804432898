// Which payload files a [Files] pattern selects. Portable, so that the installer
// and InstallerBuilder's check can never disagree.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// rel: a path relative to the payload's files folder; pattern: one [Files] value.
// Subtree rule ("Doc\*"), else the wildcard rule when the pattern holds * or ?
// (MatchDosWildcard over the whole path), else exact match. The subtree and
// exact rules fold ASCII letters only; "/" is taken as "\" throughout.
bool MatchFilesPattern(std::wstring_view rel, std::wstring_view pattern);

// Windows' wildcard match of a whole text (what PathMatchSpecW selects): '*' any
// run (also across '\'), '?' exactly one UTF-16 unit, letters folded by
// UpperCaseUnit; "*.*" alone matches everything; ';' separates alternative
// patterns, each with its leading blanks ignored.
bool MatchDosWildcard(std::wstring_view text, std::wstring_view pattern);

// LicenseFile relative to the payload's files folder ("files\" prefix removed).
std::wstring LicenseRelativePath(std::wstring_view licenseFile);

}  // namespace zel
