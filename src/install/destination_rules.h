// Which folders the product may be installed into. Portable: the rules work on
// the typed text and on facts about the machine that a Win32 function gathers
// (destination_facts.h), so that they run the same in the native tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel {

// What kind of drive the destination is on.
enum class DestinationDrive { Local, Missing, Remote, ReadOnly };

struct DestinationFacts {
    // The destination with its existing leading part resolved by the file system
    // (short names, links), or empty when it could not be resolved.
    std::wstring resolved;
    std::wstring windowsFolder;
    std::vector<std::wstring> programFilesFolders;
    std::wstring profilesFolder;  // the folder that holds the user profiles
    std::wstring userProfile;
    DestinationDrive drive = DestinationDrive::Local;
    // The destination or one of its parents when that is a file, not a folder.
    std::wstring fileInTheWay;
    // install_manifest.txt or Uninstall.exe lies in the destination ...
    bool holdsInstallation = false;
    // ... and this product's own registration names the destination.
    bool registeredHere = false;
};

// The longest destination whose Uninstall.exe path still fits in MAX_PATH - 1
// characters, the limit under which the uninstaller can be started and find
// its own path.
inline constexpr size_t kMaxDestinationLength = 259 - 14;  // 14: "\Uninstall.exe"

// The rules that need only the text: a fully qualified path on a drive ("C:\..."),
// names a folder can have, short enough for the uninstaller, not a bare drive.
// False with the reason in problem.
bool CheckDestinationText(std::wstring_view destination, std::wstring& problem);

// The rules that need the facts: the drive exists and is local, not the Windows
// folder or inside it, not the bare Program Files or profile folders, no file in
// the way, no other product's installation in the folder. False with the reason
// in problem.
bool CheckDestinationFacts(std::wstring_view destination, const DestinationFacts& facts, std::wstring& problem);

// Two paths name the same folder: separators, trailing separators and letter
// case (as Windows folds it) aside.
bool IsSameFolderText(std::wstring_view a, std::wstring_view b);

}  // namespace zel
