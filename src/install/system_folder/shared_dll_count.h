// Reference counts of files shared in the system folders. Windows keeps them
// under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs, one DWORD per
// full path, in the registry view of the file's architecture; every installer
// that places a shared file raises its count, and only the one that lowers it to
// zero removes the file.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zel {

inline constexpr wchar_t kSharedDllsKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The count recorded for the file, when a DWORD value names it. Any other kind
// of value, or none, is no count.
std::optional<DWORD> ReadSharedDllCount(const std::filesystem::path& file, bool use32BitView);

// Sets the count; 0 removes the value. False when the key cannot be written.
bool WriteSharedDllCount(const std::filesystem::path& file, bool use32BitView, DWORD count);

// The version resource's file version (major.minor in the high, build.revision
// in the low 32 bits), read without running any code of the file.
std::optional<unsigned long long> ReadFileVersion(const std::filesystem::path& file);

// Whether ours may replace the file there: its file version is not lower, and
// when either has no version resource, its last write time is not earlier.
bool IsNotOlder(const std::filesystem::path& ours, const std::filesystem::path& there);

// Both files hold the same bytes.
bool HaveSameContent(const std::filesystem::path& a, const std::filesystem::path& b);

// Lowers the file's count by one. True when it has reached zero (the value is
// then removed): the caller, its last owner, unregisters and deletes the file.
// False when the file has no count or is still used by another owner.
bool ReleaseSharedFile(const std::filesystem::path& file, bool use32BitView);

// What the install does with one shared file, from what lies at the target.
enum class SharedFilePlan {
    PlaceNew,      // nothing there: copy, count
    Replace,       // there with a count, ours not older: copy over it, count
    KeepExisting,  // there with a count, ours older: leave it, count
    LeaveForeign,  // there without a count: another owner's file, never taken over
};
SharedFilePlan PlanSharedFile(bool targetExists, bool hasCount, bool oursNotOlder);

// The count after this product has placed the file: raised by one, unless this
// product holds a count on it already (repair, update, a retry).
DWORD RaisedCount(std::optional<DWORD> count, bool alreadyCounted);

// How one shared file ended up.
enum class SharedPlacement {
    Counted,    // placed or kept, with this product's count: goes into the manifests
    Uncounted,  // another owner's file with our exact bytes: registered, never listed
    Skipped,    // another owner's different file: left alone
    Failed,     // errorText says why
};

// Places source at target in a system folder under the counting rules, raising
// the count unless countedFiles (this product's counted files) holds the target
// already, and adds it there. logLine receives the line to log, if any.
SharedPlacement PlaceSharedFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                bool use32BitView, std::vector<std::wstring>& countedFiles, std::wstring& logLine,
                                std::wstring& errorText);

// A system manifest is acted on only when standard users can change neither it
// nor its folder: otherwise an unelevated program could have written it to
// steer what an elevated uninstall releases.
bool IsTrustedManifest(const std::filesystem::path& manifest);

// The system-folder files listed in the install folder's two system manifests,
// where trusted: what an earlier run of this product counted.
std::vector<std::wstring> CountedSystemFiles(const std::filesystem::path& installDir);

}  // namespace zel
