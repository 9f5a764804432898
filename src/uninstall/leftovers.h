// Product files the uninstall could not delete (held open by a running program,
// access denied): deleted at the next restart instead of being left behind
// without a registration to remove them by.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zel {

struct Leftovers {
    // The files that are still there.
    std::vector<std::filesystem::path> paths;
    // Every one of them is scheduled for deletion at the next restart.
    bool allScheduled = true;
};

// After the file pass and the folder clean-up: the files of the manifest entries
// (inside installDir, never ownPath) that still exist are scheduled for deletion
// at the next restart, then the entries' and collected folders that still exist,
// deepest first, so that each is empty by its turn. Both paths are canonical.
Leftovers ScheduleLeftoversForRestart(const std::filesystem::path& installDir, const std::filesystem::path& ownPath,
                                      const std::vector<std::wstring>& entries,
                                      const std::vector<std::filesystem::path>& folders);

// The closing message of an uninstall that left files: that a restart completes
// the removal, or which files must be deleted by hand; at most ten are named.
std::wstring LeftoversMessage(const Leftovers& leftovers);

}  // namespace zel
