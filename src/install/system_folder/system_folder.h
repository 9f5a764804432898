// Placing COM libraries in System32 / SysWOW64 and registering them, and the
// reverse at uninstall.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "config/setup_config.h"
#include "install/system_folder/shared_dll_count.h"
#include "run/run_reporter.h"

namespace zel {

bool IsInSystemFolder(const std::filesystem::path& path);

bool PickSystemFolder(const std::filesystem::path& source, RunReporter* logTarget, bool& use32BitFolder,
                      std::wstring& errorText);
bool LocateRegsvr32(bool use32BitFolder, std::filesystem::path& systemFolder, std::filesystem::path& regsvr32,
                    std::wstring& errorText);
// How long RunRegsvr32 lets regsvr32.exe run (two minutes) before it ends the
// process and fails with a log line; returns the previous limit. Tests shorten it.
std::chrono::milliseconds SetRegsvr32TimeLimit(std::chrono::milliseconds limit);
bool RunRegsvr32(RunReporter* logTarget, bool unregister, const std::filesystem::path& regsvr32,
                 const std::filesystem::path& file, std::wstring& errorText);

// Shared files are counted (SharedDLLs): one that another owner placed without
// a count is never replaced and never listed. countedFiles holds the targets
// this product counted already (its recorded manifests, a failed attempt) and
// gains those counted now, so that no count is raised twice; raisedCounts
// gains each count this call raised, for UndoRaisedCounts.
bool DeploySystemFiles(RunReporter* logTarget, const std::filesystem::path& payloadRoot, const SetupConfig& config,
                       std::vector<std::wstring>& regsvrFiles, std::vector<std::wstring>& copyOnlyFiles,
                       std::wstring& errorText, std::vector<std::wstring>& countedFiles,
                       std::vector<RaisedSharedCount>& raisedCounts);

// After a failed run: lowers each count it raised again, last first, and
// unregisters and deletes a file it placed where nothing was when that count
// reaches zero; the files drop out of countedFiles. What was there before the
// run stays as it is.
void UndoRaisedCounts(std::vector<RaisedSharedCount>& raisedCounts, std::vector<std::wstring>& countedFiles);

// The uninstall side: what the recorded manifests list is released, and
// unregistered and deleted where this product was its last owner; then the
// manifest's record and file go.
void UnregisterSystemFiles(const std::filesystem::path& installDir);
void RemoveSystemFileCopies(const std::filesystem::path& installDir);

}  // namespace zel
