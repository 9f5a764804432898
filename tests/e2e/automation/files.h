// File helpers for checking what a run left on disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zel::e2e {

using Bytes = std::vector<std::uint8_t>;

std::optional<Bytes> ReadFileBytes(const std::filesystem::path& path);
bool WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// Every regular file below the folder, keyed by its path relative to the folder
// with "\" separators (sorted, compared without regard to case by the caller).
std::map<std::wstring, std::filesystem::path> ListFiles(const std::filesystem::path& folder);

// Text as UTF-16LE with a byte-order mark, the form setup.ini and the licence travel in.
Bytes Utf16LeWithBom(const std::wstring& text);
Bytes Utf8Bytes(const std::wstring& text);
std::wstring FromUtf8(const std::string& bytes);

// Removes the folder tree, clearing read-only attributes first; ignores failures.
void RemoveTree(const std::filesystem::path& folder);

// A fresh, empty scratch folder below the temp folder for one test.
std::filesystem::path MakeScratchFolder(const std::wstring& name);

}  // namespace zel::e2e
