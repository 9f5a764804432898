// The drafts of Uninstall.exe: while the product files are written, setup.exe is
// copied to "Uninstall.exe.<process id>-<n>.tmp" in the install folder and moved
// in place at its turn. A run that is killed leaves its draft, a whole copy of
// setup.exe, behind; later runs and the uninstall remove such leftovers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zel {

// "Uninstall.exe.<processId>-<number>.tmp".
std::wstring UninstallExeDraftName(std::uint32_t processId, unsigned number);

// The process id in a draft name, letters compared without regard to ASCII case;
// nothing for any other name.
std::optional<std::uint32_t> UninstallExeDraftProcess(std::wstring_view name);

// Win32. Deletes the drafts directly in installDir (files only, never a folder
// or link of that name). keepRunning: a draft whose process still runs, as one
// may be written right now, is left alone.
void RemoveUninstallExeDrafts(const std::filesystem::path& installDir, bool keepRunning);

}  // namespace zel
