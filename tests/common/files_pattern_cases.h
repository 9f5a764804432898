// One table of [Files] pattern cases, run by the native tests (the builder's
// check) and by the Windows tests (the installer), so both sides agree.
#pragma once

#include <string_view>

namespace zel::test {

struct FilesPatternCase {
    std::wstring_view rel;      // path relative to the payload's files folder
    std::wstring_view pattern;  // one [Files] value, as written
    bool selected;
};

inline constexpr FilesPatternCase kFilesPatternCases[] = {
    // Subtree rule: everything below the folder at any depth, never the folder name itself.
    {L"Doc\\Manual.pdf", L"Doc\\*", true},
    {L"Doc\\a\\b.txt", L"Doc\\*", true},
    {L"Doc\\Manual.pdf", L"Doc/*", true},
    {L"Doc\\a\\b.txt", L"Doc/*", true},
    {L"Doc/a/b.txt", L"Doc\\*", true},
    {L"doc\\MANUAL.pdf", L"DOC\\*", true},
    {L"Doc", L"Doc\\*", false},
    {L"Docs\\Manual.pdf", L"Doc\\*", false},
    {L"Other\\Doc\\Manual.pdf", L"Doc\\*", false},
    // The subtree prefix is literal: wildcards before the final "\*" are not expanded.
    {L"Doc\\Manual.pdf", L"D?c\\*", false},
    {L"Doc\\Manual.pdf", L"*\\*", false},
    // Without the star a folder pattern selects nothing.
    {L"Doc\\Manual.pdf", L"Doc\\", false},
    {L"Doc\\Manual.pdf", L"Doc", false},
    {L"Doc", L"Doc\\", false},
    // A lone star selects everything, at any depth.
    {L"App.exe", L"*", true},
    {L"Doc\\a\\b.txt", L"*", true},
    {L"readme", L"*", true},
    // Wildcards run over the whole relative path; '*' crosses "\".
    {L"App.exe", L"*.exe", true},
    {L"bin\\Tool.exe", L"*.exe", true},
    {L"bin\\x64\\Tool.EXE", L"*.exe", true},
    {L"App.exe.config", L"*.exe", false},
    {L"Manual.pdf", L"*.pdf", true},
    {L"Doc\\Manual.pdf", L"*.pdf", true},
    {L"bin\\Tool.exe", L"bin\\*.exe", true},
    {L"bin\\sub\\Tool.exe", L"bin\\*.exe", true},
    {L"Tool.exe", L"bin\\*.exe", false},
    {L"bin\\Tool.exe", L"b*\\T*.e*", true},
    {L"abc", L"a**c", true},
    {L"abc", L"abc*", true},
    {L"ab", L"abc*", false},
    {L"mississippi", L"*sip*", true},
    {L"mississippi", L"m*iss*ppi", true},
    {L"mississippi", L"m*iss*ppx", false},
    // '?' stands for exactly one character, "\" included.
    {L"a1.txt", L"a?.txt", true},
    {L"a.txt", L"a?.txt", false},
    {L"a12.txt", L"a?.txt", false},
    {L"a\\b", L"a?b", true},
    {L"ab", L"??", true},
    {L"ab", L"???", false},
    {L"\x00E9.txt", L"?.txt", true},
    // ... one UTF-16 unit: a character outside the Basic Multilingual Plane takes two.
    {L"\U0001F600.txt", L"?.txt", false},
    {L"\U0001F600.txt", L"??.txt", true},
    {L"\U0001F600\U0001F601.txt", L"?\U0001F601.txt", false},
    {L"\U0001F600\U0001F601.txt", L"*\U0001F601.txt", true},
    // "*.*" alone selects every file, names without a dot included.
    {L"README", L"*.*", true},
    {L"Doc\\CHANGES", L"*.*", true},
    {L"App.exe", L"*.*", true},
    // ';' separates alternatives; blanks before each are ignored, blanks after are not.
    {L"a.txt", L"*.txt;*.exe", true},
    {L"bin\\App.exe", L"*.txt;*.exe", true},
    {L"a.pdf", L"*.txt;*.exe", false},
    {L"a.exe", L" *.txt;  *.exe", true},
    {L"a.exe", L"*.txt;*.exe ", false},
    {L"a.exe", L"*.txt;;*.exe", true},
    {L"README", L"*.txt;README", true},
    {L"README", L"*.txt;", false},
    // Exact rule: the whole path, ASCII letters folded.
    {L"readme.txt", L"README.TXT", true},
    {L"README.TXT", L"readme.txt", true},
    {L"License.txt", L"License.txt", true},
    {L"Doc\\License.txt", L"License.txt", false},
    {L"Doc\\License.txt", L"doc/license.TXT", true},
    {L"License.txt", L"License.tx", false},
    // Patterns are not trimmed.
    {L"readme.txt", L" readme.txt", false},
    {L"readme.txt", L"readme.txt ", false},
    {L" readme.txt", L" readme.txt", true},
    {L"readme.txt ", L"readme.txt ", true},
    {L"readme.txt", L" *.txt", true},
    {L"readme.txt", L"\t*.txt", false},
    // An empty pattern selects nothing.
    {L"readme.txt", L"", false},
    {L"", L"", false},
    // The exact and subtree rules fold ASCII letters only: accented, full-width
    // and Cyrillic letters must be equal there.
    {L"\x00E9t\x00E9.txt", L"\x00C9T\x00C9.TXT", false},
    {L"\x00C9t\x00E9.txt", L"\x00C9T\x00E9.TXT", true},
    {L"\xFF41.txt", L"\xFF21.txt", false},
    {L"\x0434\x043E\x043A\\a.txt", L"\x0414\x041E\x041A\\*", false},
    {L"\x0434\x043E\x043A\\a.txt", L"\x0434\x043E\x043A\\*", true},
    // Wildcards fold letters as Windows does, beyond A-Z too.
    {L"\x00C9t\x00E9.txt", L"\x00E9t\x00E9.*", true},
    {L"\x00E9t\x00E9.txt", L"*\x00C9*", true},
    {L"\xFF41.txt", L"\xFF21.*", true},
    {L"\x0434\x043E\x043A\\a.txt", L"\x0414\x041E\x041A\\*.txt", true},
    {L"\x03C3.txt", L"\x03A3.*", true},
    {L"\x8AAC\x660E\x66F8.pdf", L"*.PDF", true},
    // ... but only where the upper case round-trips, and never outside the
    // Basic Multilingual Plane.
    {L"\x017F.txt", L"S.*", false},
    {L"\x0131.txt", L"I.*", false},
    {L"\x00DF.txt", L"SS.*", false},
    {L"\x03C2.txt", L"\x03A3.*", false},
    {L"\U00010428.txt", L"\U00010400.*", false},
    {L"\U00010400.txt", L"\U00010400.*", true},
};

struct LicensePathCase {
    std::wstring_view licenseFile;
    std::wstring_view relative;
};

inline constexpr LicensePathCase kLicensePathCases[] = {
    {L"files\\License.txt", L"License.txt"},
    {L"files/License.txt", L"License.txt"},
    {L"FILES\\Doc\\License.txt", L"Doc\\License.txt"},
    {L"License.txt", L"License.txt"},
    {L"Doc/License.txt", L"Doc\\License.txt"},
    {L"files\\", L""},
    {L"files", L"files"},
    {L"filesX\\License.txt", L"filesX\\License.txt"},
    {L"", L""},
};

}  // namespace zel::test
