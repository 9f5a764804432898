// A new product folder to start from (InstallerBuilder --init): a commented
// setup.ini with every key and its default, a licence placeholder and an empty
// files/. Where only the packager knows the text it holds placeholders, which
// the builder refuses until they are replaced (placeholder_checks.h). Portable.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zel {

// The skeleton's setup.ini (UTF-8 with a byte-order mark, CR LF line ends).
std::string SkeletonSetupIni();
// The skeleton's License.txt (UTF-8 with a byte-order mark, CR LF line ends).
std::string SkeletonLicense();

// Creates the folder (and any missing parent) with setup.ini, License.txt and
// an empty files/, and returns the paths it wrote. Throws std::runtime_error,
// writing nothing, when anything is already at that path: it never overwrites.
std::vector<std::filesystem::path> WriteProductSkeleton(const std::filesystem::path& folder);

}  // namespace zel
