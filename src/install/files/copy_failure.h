// What the install run says when a payload file cannot be placed.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "run/run_reporter.h"

namespace zel {

// The log line naming the file and the platform's reason:
// "[エラー] コピーできませんでした: " + rel + " (" + destination + "): " + error text.
std::wstring CopyFailureLine(const std::wstring& rel, const std::filesystem::path& destination, DWORD error);

// Logs CopyFailureLine, then raises the file-system error that ends the run with
// its unexpected-error box. The log is the only place that says which file
// and why.
[[noreturn]] void FailCopy(RunReporter& reporter, const std::wstring& rel, const std::filesystem::path& source,
                           const std::filesystem::path& destination, DWORD error);

}  // namespace zel
