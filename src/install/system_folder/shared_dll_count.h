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

// Whether ours may replace the file there, as Windows Installer decides: the
// higher or equal file version wins, and a file without a version never
// replaces one with a version (while one with a version replaces one without).
// Where neither has a version, file times say nothing (the payload carries
// none, so ours would bear the time it was staged): the file there is kept
// unless this product placed it (listedAsOurs).
bool MayReplace(const std::filesystem::path& ours, const std::filesystem::path& there, bool listedAsOurs);

// Both files hold the same bytes.
bool HaveSameContent(const std::filesystem::path& a, const std::filesystem::path& b);

// Lowers the file's count by one. True when it has reached zero (the value is
// then removed): the caller, its last owner, unregisters and deletes the file.
// False when the file has no count or is still used by another owner.
bool ReleaseSharedFile(const std::filesystem::path& file, bool use32BitView);

// What the install does with one shared file, from what lies at the target.
enum class SharedFilePlan {
    PlaceNew,      // nothing there: copy, count
    Replace,       // counted or this product's own, and ours may replace it: copy over it, count
    KeepExisting,  // counted or this product's own, and ours may not replace it: leave it, count
    LeaveForeign,  // there without a count and not this product's: another owner's file, never taken over
};
// listedAsOurs: this product's trusted record lists the file (an installation
// made before counting began has no count on it).
SharedFilePlan PlanSharedFile(bool targetExists, bool hasCount, bool listedAsOurs, bool mayReplace);

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

// A count one run raised, and what undoing it takes when the run fails.
struct RaisedSharedCount {
    std::wstring file;
    bool use32BitView = false;
    bool placedNew = false;     // nothing was there before: the file goes again with the count
    bool listedBefore = false;  // this product's already: it stays among its counted files
    bool registered = false;    // regsvr32 ran on it: unregistered before it goes
};

// Places source at target in a system folder under the counting rules, raising
// the count unless countedFiles (this product's counted files) holds the target
// already, and adds it there; a raised count is appended to raisedCounts.
// logLine receives the line to log, if any.
SharedPlacement PlaceSharedFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                bool use32BitView, std::vector<std::wstring>& countedFiles,
                                std::vector<RaisedSharedCount>& raisedCounts, std::wstring& logLine,
                                std::wstring& errorText);

// A system manifest is acted on only when standard users can change neither it
// nor its folder: otherwise an unelevated program could have written it to
// steer what an elevated uninstall releases.
bool IsTrustedManifest(const std::filesystem::path& manifest);

// A system manifest is written into the install folder and its lines are kept
// under HKLM as well, where only administrators can change them: that copy is
// trusted whatever standard users may do to the install folder, so that a
// product installed into a folder they can write still finds, at repair,
// update and uninstall, the counts it holds. False when either write fails.
bool WriteSystemManifest(const std::filesystem::path& manifest, const std::vector<std::wstring>& lines);

// The lines recorded for a system manifest: the registry's copy where there is
// one, else the file's lines when the file is trusted, else none.
std::vector<std::wstring> RecordedManifestLines(const std::filesystem::path& manifest);

// Once the uninstall has released what a system manifest lists: its registry
// copy is emptied and the file goes, so that a repeated uninstall (also one
// that finds the file again, its drive back) releases nothing twice.
void ForgetSystemManifest(const std::filesystem::path& manifest);

// The lines a system manifest gets from this run: its own, then those the
// earlier record of that manifest lists that this run placed under neither
// manifest. A file an update no longer ships keeps the count the earlier
// version took, so it stays on record for the uninstall to release.
std::vector<std::wstring> WithEarlierRecordedLines(const std::filesystem::path& manifest,
                                                   std::vector<std::wstring> lines,
                                                   const std::vector<std::wstring>& placedThisRun);

// The system-folder files recorded for the install folder's two system
// manifests: what an earlier run of this product counted.
std::vector<std::wstring> CountedSystemFiles(const std::filesystem::path& installDir);

}  // namespace zel
