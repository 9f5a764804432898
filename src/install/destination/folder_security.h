// Who may change the folders the elevated installer writes to: the install
// folder gets an access list like Program Files', and an extra copy destination
// never lies in the system's own folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace zel {

// The install folder's access list in SDDL, as Program Files has it: full
// control for SYSTEM and Administrators, read and execute for Users and for
// (restricted) application packages, full control for the creator of what is
// made inside; inherited by everything inside, nothing inherited from the parent.
std::wstring ProtectedInstallFolderSddl();

// Why an elevated run does not write to an install folder.
enum class InstallFolderRefusal {
    None,
    LinkInTheWay,          // a link or junction a standard user could have made
    StandardUsersControl,  // an existing folder that standard users may change
};

// Makes the install folder ready for an elevated run's writes, walking down
// from the drive without following links: a missing folder is created, the
// install folder with the protected access list and those above it with what
// they inherit. A link or junction on the way is refused where standard users
// can change the folder holding it, and always at the install folder itself;
// an existing install folder that standard users can change is refused rather
// than taken over (its contents, links included, are theirs). refusedAt names
// where. created, when given, tells whether the install folder was made here.
// Failures to create or open a folder raise a file-system error.
InstallFolderRefusal MakeInstallFolder(const std::filesystem::path& folder, std::filesystem::path& refusedAt,
                                       bool* created = nullptr);

// The folder's access list lets standard users (Users, Authenticated Users,
// Everyone, Interactive) change what is in it. A folder whose list cannot be
// read counts as writable.
bool StandardUsersCanWrite(const std::filesystem::path& folder);

// The object's own access list grants standard users any of the rights (a
// Win32 access mask). A list that cannot be read counts as granting them.
bool StandardUsersHaveRights(const std::filesystem::path& object, std::uint32_t rights);

// The same for the access list of a security descriptor in SDDL form; a text
// that cannot be read counts as granting them.
bool SddlGrantsStandardUsers(const std::wstring& sddl, std::uint32_t rights);

// Folders no product copy may go to: the Windows folder and everything in it,
// the root of a drive or share, and the Program Files roots themselves.
bool IsSystemLocation(const std::filesystem::path& folder);

}  // namespace zel
