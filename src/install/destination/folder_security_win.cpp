#include "install/destination/folder_security.h"

#include <windows.h>
// After windows.h
#include <aclapi.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <system_error>
#include <vector>

#include "util/ascii.h"
#include "util/known_folder.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

// Rights that let a holder change a folder's contents or the folder itself.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                      FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;

[[noreturn]] void ThrowLastError(const char* operation, const fs::path& path) {
    throw fs::filesystem_error(operation, path,
                               std::error_code(static_cast<int>(::GetLastError()), std::system_category()));
}

bool IsStandardUsersSid(PSID sid) {
    for (const WELL_KNOWN_SID_TYPE type :
         {WinWorldSid, WinAuthenticatedUserSid, WinBuiltinUsersSid, WinInteractiveSid}) {
        if (::IsWellKnownSid(sid, type)) return true;
    }
    return false;
}

bool SameFolder(const fs::path& a, const fs::path& b) { return EqualsIgnoreAsciiCase(a.native(), b.native()); }

fs::path CanonicalOrEmpty(const fs::path& path) {
    fs::path canonical;
    return WeaklyCanonical(path, canonical) ? canonical : fs::path();
}

fs::path KnownFolderOrEmpty(REFKNOWNFOLDERID id) {
    const std::wstring path = KnownFolderPath(id);
    return path.empty() ? fs::path() : CanonicalOrEmpty(path);
}

}  // namespace

std::wstring ProtectedInstallFolderSddl() {
    // P: nothing from the parent. OICI: files and folders inside inherit.
    // FA full access; 0x1200a9 read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
    return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
}

bool CreateProtectedFolder(const fs::path& folder, fs::path* protectedFolder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(ProtectedInstallFolderSddl().c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        ThrowLastError("create_directory", folder);
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};

    // Each round finds at least one more folder there; a path that keeps
    // changing under our hands ends in an error rather than a loop.
    for (int round = 0; round < 64; ++round) {
        std::error_code error;
        if (fs::is_directory(folder, error)) return false;
        // The topmost folder that is missing.
        fs::path top;
        for (fs::path step = folder; step.has_relative_path(); step = step.parent_path()) {
            // A dangling link counts as there; so does what cannot be looked at.
            const fs::file_status status = fs::symlink_status(step, error);
            if (status.type() != fs::file_type::not_found) break;
            top = step;
        }
        if (top.empty()) {
            fs::create_directories(folder);  // something else is in the way: raises its error
            return true;
        }
        if (::CreateDirectoryW(top.c_str(), &attributes)) {
            fs::create_directories(folder);  // the rest inherit the list
            if (protectedFolder) *protectedFolder = top;
            return true;
        }
        // Made by someone else just now: the next folder down is the first of ours.
        if (::GetLastError() != ERROR_ALREADY_EXISTS) ThrowLastError("create_directory", top);
    }
    throw fs::filesystem_error("create_directory", folder, std::make_error_code(std::errc::file_exists));
}

bool StandardUsersCanWrite(const fs::path& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    if (!dacl) return true;  // no access list: everyone may do everything
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!::GetAce(dacl, index, &ace)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kChangeRights) && IsStandardUsersSid(sid)) return true;
    }
    return false;
}

bool IsSystemLocation(const fs::path& folder) {
    const fs::path canonical = CanonicalOrEmpty(folder);
    if (canonical.empty() || !canonical.has_relative_path()) return true;  // a root, or unresolvable

    if (const std::wstring windowsFolder = WindowsFolderPath(); !windowsFolder.empty()) {
        const fs::path windows = CanonicalOrEmpty(windowsFolder);
        if (!windows.empty() && (SameFolder(windows, canonical) || IsPathInside(windows, canonical))) return true;
    }
    for (REFKNOWNFOLDERID id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramFilesX64}) {
        const fs::path root = KnownFolderOrEmpty(id);
        if (!root.empty() && SameFolder(root, canonical)) return true;
    }
    return false;
}

}  // namespace zel
