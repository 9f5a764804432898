// Who may change the folders the elevated installer writes to: the install
// folder gets an access list like Program Files', and an extra copy destination
// never lies in the system's own folders.
#pragma once

#include <filesystem>
#include <string>

namespace zel {

// The install folder's access list in SDDL: full control for SYSTEM and
// Administrators, read and execute for Users, inherited by everything inside,
// nothing inherited from the parent.
std::wstring ProtectedInstallFolderSddl();

// Creates folder with its missing parents. The topmost folder it creates gets
// the protected access list and the others inherit it, so that no folder on the
// way lets a standard user move the installation aside and put another in its
// place. False when the folder was there already. Failures raise a file-system
// error, as creating the folder always has. protectedFolder, when given,
// receives the folder that got the list.
bool CreateProtectedFolder(const std::filesystem::path& folder, std::filesystem::path* protectedFolder = nullptr);

// The folder's access list lets standard users (Users, Authenticated Users,
// Everyone, Interactive) change what is in it. A folder whose list cannot be
// read counts as writable.
bool StandardUsersCanWrite(const std::filesystem::path& folder);

// Folders no product copy may go to: the Windows folder and everything in it,
// the root of a drive or share, and the Program Files roots themselves.
bool IsSystemLocation(const std::filesystem::path& folder);

}  // namespace zel
