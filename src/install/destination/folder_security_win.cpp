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
#include "util/no_follow_write.h"
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

// The descriptor's access list grants standard users any of the rights in an
// entry that applies to the object itself. No list at all grants everyone
// everything.
bool DescriptorGrantsStandardUsers(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return true;
    if (!present || !dacl) return true;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!::GetAce(dacl, index, &ace)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & rights) && IsStandardUsersSid(const_cast<DWORD*>(&allowed->SidStart))) return true;
    }
    return false;
}

bool SameFolder(const fs::path& a, const fs::path& b) { return EqualsIgnoreAsciiCase(a.native(), b.native()); }

fs::path CanonicalOrEmpty(const fs::path& path) {
    fs::path canonical;
    return WeaklyCanonical(path, canonical) ? canonical : fs::path();
}

// The name the folder lists the entry under: its long name, a link's own name.
std::wstring EntryName(const fs::path& path) {
    WIN32_FIND_DATAW found{};
    const UniqueFindHandle find(::FindFirstFileW(path.c_str(), &found));
    return find ? std::wstring(found.cFileName) : path.filename().wstring();
}

// A folder on the way to the install folder, opened without following a link
// and held without delete sharing, so that it cannot be renamed away and
// replaced while held (listing access makes the sharing count). A folder that
// may not be listed is opened for its attributes only.
UniqueKernelHandle OpenStep(const fs::path& step) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD kFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    UniqueKernelHandle handle(::CreateFileW(step.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                            kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
    if (!handle && ::GetLastError() == ERROR_ACCESS_DENIED) {
        handle.reset(::CreateFileW(step.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShare, nullptr, OPEN_EXISTING,
                                   kFlags, nullptr));
    }
    return handle;
}

fs::path KnownFolderOrEmpty(REFKNOWNFOLDERID id) {
    const std::wstring path = KnownFolderPath(id);
    return path.empty() ? fs::path() : CanonicalOrEmpty(path);
}

}  // namespace

std::wstring ProtectedInstallFolderSddl() {
    // P: nothing from the parent. OICI: files and folders inside inherit; IO:
    // for what is inside only. FA full access; 0x1200a9 read and execute
    // (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE). S-1-15-2-1 all application
    // packages, S-1-15-2-2 all restricted application packages: packaged apps
    // may run and read the product, as in Program Files.
    return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)"
           L"(A;OICI;0x1200a9;;;S-1-15-2-1)(A;OICI;0x1200a9;;;S-1-15-2-2)";
}

InstallFolderRefusal MakeInstallFolder(const fs::path& folder, fs::path& refusedAt, bool* created) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(ProtectedInstallFolderSddl().c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        ThrowLastError("create_directory", folder);
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES protectedList{sizeof(protectedList), descriptor, FALSE};

    const WindowsPathParts parts = SplitWindowsPath(LexicallyNormalPath(fs::absolute(folder).native()));
    // The drive, or the share of a UNC path, is where the walk starts.
    const bool unc = parts.rootName.size() >= 2 && parts.rootName[0] == parts.rootName[1];
    std::size_t first = unc ? 1 : 0;
    fs::path current = parts.rootName + L"\\" + (unc && !parts.names.empty() ? parts.names[0] + L"\\" : L"");
    fs::path currentFinal = FinalFolderPath(current);
    if (currentFinal.empty()) ThrowLastError("create_directory", current);
    if (first >= parts.names.size())
        throw fs::filesystem_error("create_directory", folder, make_error_code(std::errc::file_exists));

    // Held until the install folder is ready: no folder on the way can be
    // renamed away and replaced meanwhile.
    std::vector<UniqueKernelHandle> held;
    for (std::size_t i = first; i < parts.names.size(); ++i) {
        const bool last = i + 1 == parts.names.size();
        const fs::path step = current / parts.names[i];
        // Only the install folder gets the protected list; folders above it
        // inherit what their parent gives, as any folder made there would.
        // Looked at first: creating a folder that is there can be refused
        // as access denied where the parent is not ours to change.
        UniqueKernelHandle handle = OpenStep(step);
        bool made = false;
        if (!handle) {
            const DWORD openError = ::GetLastError();
            if (openError != ERROR_FILE_NOT_FOUND && openError != ERROR_PATH_NOT_FOUND) {
                ThrowLastError("create_directory", step);
            }
            made = ::CreateDirectoryW(step.c_str(), last ? &protectedList : nullptr) != FALSE;
            if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) ThrowLastError("create_directory", step);
            handle = OpenStep(step);
            if (!handle) ThrowLastError("create_directory", step);
        }
        fs::path stepFinal = currentFinal / (made ? parts.names[i] : EntryName(step));
        if (IsLinkedAway(handle.get(), stepFinal)) {
            // A link in a folder that only administrators change was put
            // there by one, and the path chose it; anywhere else a standard
            // user may have made it or swapped it in.
            if (last || StandardUsersCanWrite(current)) {
                refusedAt = step;
                return InstallFolderRefusal::LinkInTheWay;
            }
            stepFinal = FinalFolderPath(step);
            if (stepFinal.empty()) ThrowLastError("create_directory", step);
        }
        BY_HANDLE_FILE_INFORMATION information{};
        if (!::GetFileInformationByHandle(handle.get(), &information)) ThrowLastError("create_directory", step);
        if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !fs::is_directory(stepFinal)) {
            throw fs::filesystem_error("create_directory", step, make_error_code(std::errc::not_a_directory));
        }
        if (last && !made && StandardUsersCanWrite(step)) {
            refusedAt = step;
            return InstallFolderRefusal::StandardUsersControl;
        }
        if (last && created) *created = made;
        held.push_back(std::move(handle));
        current = step;
        currentFinal = stepFinal;
    }
    return InstallFolderRefusal::None;
}

bool SddlGrantsStandardUsers(const std::wstring& sddl, std::uint32_t rights) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return true;
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    return DescriptorGrantsStandardUsers(descriptor, rights);
}

bool StandardUsersHaveRights(const fs::path& object, std::uint32_t rights) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(object.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    return DescriptorGrantsStandardUsers(descriptor, rights);
}

bool StandardUsersCanWrite(const fs::path& folder) { return StandardUsersHaveRights(folder, kChangeRights); }

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
