// What the install run says when a payload file cannot be placed.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace zel {

// The log line naming the file and the platform's reason:
// "[エラー] コピーできませんでした: " + rel + " (" + destination + "): " + error text.
std::wstring CopyFailureLine(const std::wstring& rel, const std::filesystem::path& destination, DWORD error);

}  // namespace zel
