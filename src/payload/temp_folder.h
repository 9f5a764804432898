// The private folder the payload is extracted to: a fresh folder below the
// user's temp path that no other process can write to, never one that was there
// before, removed with everything in it when the process ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "util/unique_handle.h"

namespace zel {

// "ZelSetup_" + local date and time, zero-padded so that every moment has its
// own text: ZelSetup_YYYYMMDD_HHMMSS.
std::wstring TempFolderLeafName(const SYSTEMTIME& time);

// The name tried for the attempt-th time (0 first): the leaf, then "_2", "_3"…
std::wstring TempFolderCandidate(const std::wstring& leaf, unsigned attempt);

// The names tried once the time-based ones are all taken: the leaf, "_" and
// the random number as 16 hex digits.
std::wstring TempFolderRandomCandidate(const std::wstring& leaf, std::uint64_t random);

// The security descriptor of the folder in SDDL: full control for the given
// user and for Administrators only, inherited by everything created in it, not
// inheriting from the temp folder; with highIntegrity, a mandatory label that
// keeps processes below high integrity (the same user's unelevated programs)
// from writing into it.
std::wstring PrivateFolderSddl(const std::wstring& userSid, bool highIntegrity);

class PrivateTempFolder {
public:
    PrivateTempFolder() = default;
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
    ~PrivateTempFolder() { Remove(); }

    // Creates the folder below tempRoot (empty: the user's temp path) under a
    // name that exists nowhere yet, with the private access list, and keeps it
    // open so that it cannot be renamed or replaced while the process runs.
    bool Create(const std::wstring& tempRoot = {});

    // Removes the folder with everything in it (links inside are removed, never
    // followed). Safe to call more than once.
    void Remove() noexcept;

    const std::wstring& path() const noexcept { return path_; }

    // Removes the folder of the one live instance now: for roads on which the
    // process ends without returning (the session ends, an unhandled error).
    static void RemoveLiveFolder() noexcept;

private:
    std::wstring path_;
    UniqueKernelHandle guard_;
};

// Creates the process's own extraction folder (see PrivateTempFolder::Create)
// and returns its path; empty when it cannot be made. The folder lives until
// the process ends and is removed on every road out: the return from the entry
// point, the end of the Windows session (the dialogs call RemoveLiveFolder) and
// an error nothing handles.
std::wstring CreateProcessTempFolder();

}  // namespace zel
