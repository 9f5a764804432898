// Where InstallerBuilder finds its default stub, InstallerCore.exe, when no
// --stub is given: next to itself (a build tree, the Windows zip), then in the
// data folder of an installed package, ../share/zelsetup/ from the folder the
// builder lies in (/usr/bin -> /usr/share/zelsetup). Portable.
#pragma once

#include <filesystem>
#include <vector>

namespace zel {

// The places looked at, in order, for a builder that lies in builderFolder.
std::vector<std::filesystem::path> DefaultStubCandidates(const std::filesystem::path& builderFolder);

// The first candidate that is a file. Throws std::runtime_error naming every
// place looked at, and why each one failed, when none is.
std::filesystem::path FindDefaultStub(const std::filesystem::path& builderFolder);

}  // namespace zel
