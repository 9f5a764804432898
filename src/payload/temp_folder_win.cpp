#include "payload/temp_folder.h"

// ntsecapi.h needs the types windows.h declares.
#include <ntsecapi.h>
#include <sddl.h>
#include <winternl.h>

#include <cstdlib>
#include <cwchar>
#include <exception>
#include <filesystem>
#include <vector>

#include "util/file_removal.h"

namespace zel {
namespace {

// Time-based names first: enough for many runs started in one second. Anyone
// can make folders in the temp path, so these can all be taken ahead of time;
// random names follow, which nobody can take in advance. A temp path that
// refuses every name still fails quickly instead of trying forever.
constexpr unsigned kTimeBasedNames = 100;
constexpr unsigned kRandomNames = 100;

PrivateTempFolder* liveFolder = nullptr;

std::wstring Padded(unsigned value, int width) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"%0*u", width, value);
    return text;
}

std::wstring UserTempPath() {
    std::wstring tempPath(MAX_PATH + 1, L'\0');
    DWORD length = ::GetTempPathW(static_cast<DWORD>(tempPath.size()), tempPath.data());
    if (length > tempPath.size()) {
        // Longer than MAX_PATH: the result is the size it needs.
        tempPath.assign(length, L'\0');
        length = ::GetTempPathW(static_cast<DWORD>(tempPath.size()), tempPath.data());
        if (length >= tempPath.size()) length = 0;
    }
    tempPath.resize(length);
    return tempPath;
}

// A piece of the process token (TokenUser, TokenIntegrityLevel).
std::vector<BYTE> TokenInformation(TOKEN_INFORMATION_CLASS kind) {
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), kind, buffer.data(), size, &size)) return {};
    return buffer;
}

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return {};
    const UniqueLocalMem owner(text);
    return text;
}

bool RunsAtHighIntegrity() {
    const std::vector<BYTE> buffer = TokenInformation(TokenIntegrityLevel);
    if (buffer.empty()) return false;
    PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    const UCHAR count = *::GetSidSubAuthorityCount(sid);
    return count > 0 && *::GetSidSubAuthority(sid, count - 1) >= SECURITY_MANDATORY_HIGH_RID;
}

constexpr NTSTATUS kStatusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022);

using NtCreateFileFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                              PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

enum class CreateResult { Created, NameTaken, Failed };

// Creates the folder and opens it in one step, so that the handle is certainly
// the new folder and no other process can slip one in between. The handle does
// not share delete access: while it is open nobody can rename the folder away
// and put another in its place. ntdll is part of every process, so the call is
// looked up there rather than imported.
CreateResult CreateAndHoldFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor, UniqueKernelHandle& guard) {
    static const auto ntCreateFile = reinterpret_cast<NtCreateFileFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
    if (!ntCreateFile) return CreateResult::Failed;
    std::wstring ntPath = L"\\??\\" + path;
    UNICODE_STRING name{};
    name.Buffer = ntPath.data();
    name.Length = static_cast<USHORT>(ntPath.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, descriptor);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const NTSTATUS result =
        ntCreateFile(&handle, FILE_LIST_DIRECTORY | READ_CONTROL | SYNCHRONIZE, &attributes, &status, nullptr,
                     FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                     FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (result >= 0) {
        guard.reset(handle);
        return CreateResult::Created;
    }
    // Taken by any kind of entry (folder, file, link, junction), or by one we
    // may not even look at.
    if (result == kStatusObjectNameCollision || result == kStatusAccessDenied) return CreateResult::NameTaken;
    return CreateResult::Failed;
}

}  // namespace

std::wstring TempFolderLeafName(const SYSTEMTIME& time) {
    return L"ZelSetup_" + Padded(time.wYear, 4) + Padded(time.wMonth, 2) + Padded(time.wDay, 2) + L"_" +
           Padded(time.wHour, 2) + Padded(time.wMinute, 2) + Padded(time.wSecond, 2);
}

std::wstring TempFolderCandidate(const std::wstring& leaf, unsigned attempt) {
    return attempt == 0 ? leaf : leaf + L"_" + std::to_wstring(attempt + 1);
}

std::wstring TempFolderRandomCandidate(const std::wstring& leaf, std::uint64_t random) {
    wchar_t suffix[24];
    std::swprintf(suffix, std::size(suffix), L"_%016llX", static_cast<unsigned long long>(random));
    return leaf + suffix;
}

std::wstring PrivateFolderSddl(const std::wstring& userSid, bool highIntegrity) {
    // P: the temp folder's own entries are not inherited. OICI: files and
    // folders created inside get the same two entries. FA: full access.
    std::wstring sddl = L"D:P(A;OICI;FA;;;" + userSid + L")(A;OICI;FA;;;BA)";
    if (highIntegrity) sddl += L"S:(ML;OICI;NW;;;HI)";
    return sddl;
}

bool PrivateTempFolder::Create(const std::wstring& tempRoot) {
    Remove();
    std::wstring root = tempRoot.empty() ? UserTempPath() : tempRoot;
    if (root.empty()) return false;
    if (root.back() != L'\\' && root.back() != L'/') root += L'\\';

    const std::vector<BYTE> userBuffer = TokenInformation(TokenUser);
    if (userBuffer.empty()) return false;
    const std::wstring userSid = SidText(reinterpret_cast<const TOKEN_USER*>(userBuffer.data())->User.Sid);
    if (userSid.empty()) return false;
    bool labelled = RunsAtHighIntegrity();
    UniqueLocalMem descriptorOwner;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const auto buildDescriptor = [&] {
        descriptor = nullptr;
        const bool built = ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            PrivateFolderSddl(userSid, labelled).c_str(), SDDL_REVISION_1, &descriptor, nullptr);
        descriptorOwner.reset(descriptor);
        return built;
    };
    if (!buildDescriptor()) return false;

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::wstring leaf = TempFolderLeafName(now);
    for (unsigned attempt = 0; attempt < kTimeBasedNames + kRandomNames;) {
        std::wstring candidate;
        if (attempt < kTimeBasedNames) {
            candidate = root + TempFolderCandidate(leaf, attempt);
        } else {
            std::uint64_t random = 0;
            if (!::RtlGenRandom(&random, sizeof random)) return false;
            candidate = root + TempFolderRandomCandidate(leaf, random);
        }
        UniqueKernelHandle guard;
        const CreateResult result = CreateAndHoldFolder(candidate, descriptor, guard);
        if (result == CreateResult::NameTaken) {
            ++attempt;  // never reused: the next name
            continue;
        }
        if (result == CreateResult::Failed) {
            // A system that refuses the integrity label still gets the folder
            // with its access list: the same name once more without it.
            if (!labelled) return false;
            labelled = false;
            if (!buildDescriptor()) return false;
            continue;
        }
        path_ = candidate;
        guard_ = std::move(guard);
        liveFolder = this;
        return true;
    }
    return false;
}

void PrivateTempFolder::Remove() noexcept {
    if (liveFolder == this) liveFolder = nullptr;
    if (path_.empty()) return;
    guard_.reset();
    RemoveFolderTree(path_);
    path_.clear();
}

void PrivateTempFolder::RemoveLiveFolder() noexcept {
    if (liveFolder) liveFolder->Remove();
}

std::wstring CreateProcessTempFolder() {
    // Destroyed, and so removed, when the process returns from its entry point.
    static PrivateTempFolder folder;
    // An error that nothing handles ends the process without that: the folder
    // goes first.
    static const std::terminate_handler previous = std::set_terminate([] {
        PrivateTempFolder::RemoveLiveFolder();
        if (previous) previous();
        std::abort();
    });
    return folder.Create() ? folder.path() : std::wstring();
}

}  // namespace zel
