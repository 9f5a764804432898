// The extra copy destination: the product's "folder\*" payload folders are
// mirrored into the folder that the MstaFolder key of a sibling application's
// Korvel_10.ini names. The rules (which installed files are mirrored and where
// each one lands, how the value is found in the settings text) are portable
// plain-text rules over Windows-style paths, in extra_destination.cpp; finding
// the folders and copying, in extra_destination_win.cpp.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_reporter.h"

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

// Finding the folders and copying (Win32).

bool MirrorToExtraFolders(RunReporter* logTarget, const std::wstring& installDir,
                          const std::vector<std::wstring>& copiedFiles, const std::vector<std::wstring>& filesPatterns,
                          std::wstring& errorText);

// The weakly canonical folders that the MstaFolder values of the install
// folder's and %LocalAppData%\Korvel\'s Korvel_10.ini name, in that order,
// without case-insensitive duplicates. Cleared first. A settings file that
// standard users can change is ignored, with a warning to logTarget (may be
// null): the elevated run never lets it choose where product files go.
void FindExtraFolders(const std::wstring& installDir, std::vector<std::wstring>& extraFolders,
                      RunReporter* logTarget = nullptr);
// Standard users can change the settings file: write it, or put another in
// its place through its folder or any folder above (a list that cannot be
// read counts as letting them). Standard users are Everyone, Authenticated
// Users, Users and Interactive.
bool StandardUsersCanChangeSettings(const std::filesystem::path& settingsFile);
// Where an access list lies on the way to the settings file.
enum class SettingsListPlace { File, Folder, FolderAbove };
// The rule above for one access list, given as SDDL text (unreadable text
// counts as letting them).
bool AccessListLetsStandardUsersChange(const std::wstring& sddl, SettingsListPlace place);
// The MstaFolder value of one settings file; empty when the file or the key is missing.
std::wstring ReadMstaFolderValue(const std::filesystem::path& settingsFile);
// Appends the value's weakly canonical form (lexically normal form when that
// fails) unless it is blank or already listed.
void AddExtraFolder(std::vector<std::wstring>& extraFolders, const std::wstring& value);
// Creates the folder with its missing parents; false with the error text when it cannot.
bool EnsureFolder(const std::filesystem::path& folder, std::wstring& errorText);

}  // namespace zel
