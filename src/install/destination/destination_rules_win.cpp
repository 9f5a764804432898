#include "install/destination/destination_rules.h"

#include <shlobj.h>
#include <windows.h>

#include <filesystem>

#include "config/text_encoding.h"
#include "install/files/installed_names.h"
#include "install/registration/uninstall_entry.h"
#include "util/known_folder.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

// The folder as the file system resolves it, or as given when it cannot.
std::wstring Resolved(const std::wstring& path) {
    std::filesystem::path resolved;
    return WeaklyCanonical(path, resolved) ? resolved.wstring() : path;
}

DestinationDrive DriveOf(const std::wstring& destination) {
    const std::wstring root = destination.substr(0, 2) + L"\\";
    switch (::GetDriveTypeW(root.c_str())) {
        case DRIVE_NO_ROOT_DIR:
            return DestinationDrive::Missing;
        case DRIVE_REMOTE:
            return DestinationDrive::Remote;
        case DRIVE_CDROM:
            return DestinationDrive::ReadOnly;
        default:
            return DestinationDrive::Local;
    }
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The nearest of the destination and its parents that exists, when it is a file.
std::wstring FileInTheWay(const std::wstring& destination) {
    for (std::wstring path = LexicallyNormalPath(destination);;) {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? std::wstring() : path;
        }
        const std::wstring parent = WindowsPathParent(path);
        if (parent == path || parent.empty()) return {};
        path = parent;
    }
}

// Whether a registered install folder is the destination. Each key's folder is
// resolved like the destination only when it lies on a local drive: asking the
// file system about a share that is gone could keep the page waiting, so other
// folders are compared as written.
bool NamesDestination(const std::wstring& location, const std::wstring& destination, const DestinationFacts& facts) {
    if (IsSameFolderText(location, destination) || IsSameFolderText(location, facts.resolved)) return true;
    const bool onDrive = location.size() >= 3 && location[1] == L':' && (location[2] == L'\\' || location[2] == L'/');
    return onDrive && DriveOf(location) == DestinationDrive::Local &&
           IsSameFolderText(Resolved(location), facts.resolved);
}

}  // namespace

DestinationFacts GatherDestinationFacts(const std::wstring& destination, const SetupConfig& config) {
    DestinationFacts facts;
    facts.drive = DriveOf(destination);
    if (facts.drive == DestinationDrive::Missing) return facts;

    facts.resolved = Resolved(destination);
    facts.windowsFolder = Resolved(WindowsFolderPath());
    for (const KNOWNFOLDERID& id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86}) {
        const std::wstring folder = KnownFolderPath(id);
        if (!folder.empty()) facts.programFilesFolders.push_back(Resolved(folder));
    }
    facts.profilesFolder = Resolved(KnownFolderPath(FOLDERID_UserProfiles));
    facts.userProfile = Resolved(KnownFolderPath(FOLDERID_Profile));
    facts.fileInTheWay = FileInTheWay(destination);

    const std::wstring manifest = AppendWindowsPath(destination, kInstallManifestName);
    facts.holdsInstallation = Exists(manifest) || Exists(AppendWindowsPath(destination, kUninstallExeName));
    if (!facts.holdsInstallation) return facts;
    // Every key that names the folder counts, not only the first of the product:
    // a stale key of the product may stand in front of the live one.
    for (const RegisteredInstallation& found : ListRegisteredInstallations(config.AppName)) {
        if (!NamesDestination(found.product.installLocation, destination, facts)) continue;
        (found.sameProduct ? facts.registeredHere : facts.registeredToOther) = true;
    }
    // With its key gone, the installation is still known by what it installed.
    facts.manifestListsOwnFiles = ListsOwnFiles(ReadUtf8Lines(manifest), config);
    return facts;
}

bool ValidateDestination(const std::wstring& destination, const SetupConfig& config, std::wstring& problem) {
    problem.clear();
    if (!CheckDestinationText(destination, problem)) return false;
    return CheckDestinationFacts(destination, GatherDestinationFacts(destination, config), problem);
}

}  // namespace zel
