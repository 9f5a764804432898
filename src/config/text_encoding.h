// Text conversions and the three file loaders (Win32). None reports an error
// other than by an empty result.
#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(const std::wstring& wide);
std::string ReadWholeFile(std::istream& in);
// Licence text: UTF-16LE with mark, UTF-8 with or without mark.
std::wstring LoadTextFile(const std::filesystem::path& path);
// As LoadTextFile, but text without a mark that is not valid UTF-8 is read as code page 932.
std::wstring LoadTextFileWithCp932Fallback(const std::filesystem::path& path);
// Non-blank lines of a UTF-8 file (manifests), without CR/LF.
std::vector<std::wstring> ReadUtf8Lines(const std::filesystem::path& path);

}  // namespace zel
