// Deleting the running uninstaller's own file after it has ended.
#pragma once

#include <filesystem>
#include <string>

namespace zel {

// "cmd.exe /d /v:off /c ping 127.0.0.1 -n 2 >nul & del /f /q " + the quoted path.
std::wstring SelfRemovalCommandLine(const std::filesystem::path& file);

// True for a path the command interpreter would change (one holding '%'): such a
// file is deleted at the next restart instead.
bool SelfRemovalNeedsRestart(const std::filesystem::path& file);

// Starts a hidden command interpreter that waits about one second and then
// deletes the file; does not wait for it. A file whose path the interpreter
// would change is scheduled for deletion at the next restart instead. Failures
// are not reported.
void StartSelfRemoval(const std::filesystem::path& file);

}  // namespace zel
