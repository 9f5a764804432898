// InstallerBuilder --list: what a setup.exe carries, or what a product folder
// would give, without writing anything. Portable.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace zel {

// Lists a built setup.exe: the builder version that made it, its payload
// entries with their sizes, the files an install copies, the system-folder
// files and its setup.ini. Throws std::runtime_error when the file is not a
// setup.exe with a payload.
void ListSetupExe(const std::filesystem::path& setupExe, std::ostream& out);

// Lists a product folder the same way (checked as a build checks it; warnings
// go to warnings).
void ListProductFolder(const std::filesystem::path& folder, std::ostream& out, std::vector<std::string>& warnings);

}  // namespace zel
