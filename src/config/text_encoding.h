// The file loaders of setup.exe's texts (Win32): the licence, and manifests
// line by line. None reports an error other than by an empty result. The UTF-8
// conversions they use are util/unicode.h's.
#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

std::string ReadWholeFile(std::istream& in);
// Licence text: UTF-16LE with mark, UTF-8 with or without mark.
std::wstring LoadTextFile(const std::filesystem::path& path);
// As LoadTextFile, but text without a mark that is not valid UTF-8 is read as code page 932.
std::wstring LoadTextFileWithCp932Fallback(const std::filesystem::path& path);
// Non-blank lines of a UTF-8 file (manifests), without CR/LF.
std::vector<std::wstring> ReadUtf8Lines(const std::filesystem::path& path);

}  // namespace zel
