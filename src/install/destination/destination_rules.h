// Which folders the product may be installed into. The rules are portable:
// they work on the typed text and on facts about the machine, so that they run
// the same in the native tests. The facts are gathered, and a destination typed
// on the Destination page or given on the command line is checked with them, in
// destination_rules_win.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/setup_config.h"

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
    // install_manifest.txt or Uninstall.exe lies in the destination. It is this
    // product's own installation when a key of this product (by AppName) names
    // the folder, or, when no key of another program names it, when its
    // install_manifest.txt lists this product's own files.
    bool holdsInstallation = false;
    bool registeredHere = false;
    bool registeredToOther = false;
    bool manifestListsOwnFiles = false;
};

// The longest destination whose Uninstall.exe path still fits in MAX_PATH - 1
// characters, the limit under which the uninstaller can be started and find
// its own path.
inline constexpr size_t kMaxDestinationLength = 259 - 14;  // 14: "\Uninstall.exe"

// Which rule refuses a destination, for callers that word the reason
// themselves (the builder checks DefaultInstallDir with these rules).
enum class DestinationRefusal {
    None,
    NotFullPath,
    BadName,      // detail: the name
    PercentSign,  // detail: the name that holds it
    BareFolder,
    TooLong,
    WindowsFolder,
    MissingDrive,  // detail: the drive ("D:")
    NotLocal,
    FileInTheWay,  // detail: the file
    OtherInstallation,
};
struct DestinationVerdict {
    DestinationRefusal refusal = DestinationRefusal::None;
    std::wstring detail;
};

// The rules that need only the text: a fully qualified path on a drive ("C:\..."),
// names a folder can have, short enough for the uninstaller, not a bare drive.
DestinationVerdict JudgeDestinationText(std::wstring_view destination);

// The rules that need the facts: the drive exists and is local, not the Windows
// folder or inside it, not the bare Program Files or profile folders, the
// resolved form short enough for the uninstaller, no file in the way, no other
// product's installation in the folder.
DestinationVerdict JudgeDestinationFacts(std::wstring_view destination, const DestinationFacts& facts);

// The two above with the reason, for a warning box, in problem when they refuse.
bool CheckDestinationText(std::wstring_view destination, std::wstring& problem);
bool CheckDestinationFacts(std::wstring_view destination, const DestinationFacts& facts, std::wstring& problem);

// Two paths name the same folder: separators, trailing separators and letter
// case (as Windows folds it) aside.
bool IsSameFolderText(std::wstring_view a, std::wstring_view b);

// With the facts of this machine (Win32).

// The Windows, Program Files and profile folders, the destination's drive, a
// file in its way, an installation already in it and whose it is: the Uninstall
// keys that name the folder (this product's by its AppName), and whether its
// install_manifest.txt lists the product's main program (MainExe; without one,
// a [Files] value that names a single file). The destination has passed
// CheckDestinationText.
DestinationFacts GatherDestinationFacts(const std::wstring& destination, const SetupConfig& config);

// CheckDestinationText, then CheckDestinationFacts with the gathered facts.
// False with the reason, for a warning box, in problem.
bool ValidateDestination(const std::wstring& destination, const SetupConfig& config, std::wstring& problem);

// Whether a list of installed files (install_manifest.txt's lines) holds this
// product's own: its main program, or without one a [Files] value that names a
// single file. Letter case and separators as Windows compares names.
bool ListsOwnFiles(const std::vector<std::wstring>& manifestLines, const SetupConfig& config);

}  // namespace zel
