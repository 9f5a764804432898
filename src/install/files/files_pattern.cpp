#include "install/files/files_pattern.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/ascii.h"
#include "util/upper_case.h"

namespace zel {
namespace {

// The text as UTF-16 code units on every platform, so that '?' stands for one
// unit as it does on Windows: a character outside the Basic Multilingual Plane
// (a surrogate pair) needs "??" there, and so it does here where wchar_t holds
// whole code points.
std::u16string ToUtf16Units(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        const auto cp = static_cast<std::uint32_t>(c);
        if (cp > 0xFFFF && cp <= 0x10FFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

// One pattern without ';': '*' any run of units (also across '\'), '?' exactly
// one unit, everything else equal after upper-casing.
bool MatchOneSpec(std::u16string_view t, std::u16string_view p) {
    // Greedy match that remembers only the latest '*': when a later literal
    // fails, that star absorbs one more unit and matching resumes after it. An
    // earlier star never needs revisiting, so the work stays within text length
    // times pattern length however many stars there are.
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t ti = 0;
    size_t pi = 0;
    size_t starPattern = kNone;
    size_t starText = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == u'*') {
            starPattern = pi++;
            starText = ti;
        } else if (pi < p.size() && (p[pi] == u'?' || UpperCaseUnit(p[pi]) == UpperCaseUnit(t[ti]))) {
            ++pi;
            ++ti;
        } else if (starPattern != kNone) {
            pi = starPattern + 1;
            ti = ++starText;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}

}  // namespace

bool MatchDosWildcard(std::wstring_view text, std::wstring_view pattern) {
    // "*.*" on its own selects everything, names without a dot included.
    if (pattern == L"*.*") return true;

    const std::u16string t = ToUtf16Units(text);
    const std::u16string p = ToUtf16Units(pattern);
    // A list of patterns separated by ';', each with its leading blanks ignored
    // (trailing blanks count); the text matches when one of them matches. Nothing
    // after a final ';' is tried.
    size_t pos = 0;
    while (pos < p.size()) {
        while (pos < p.size() && p[pos] == u' ') ++pos;
        const size_t end = std::min(p.find(u';', pos), p.size());
        if (MatchOneSpec(t, std::u16string_view(p).substr(pos, end - pos))) return true;
        pos = end < p.size() ? end + 1 : end;
    }
    return false;
}

bool MatchFilesPattern(std::wstring_view rel, std::wstring_view pattern) {
    const std::wstring path = ReplaceAll(std::wstring(rel), L'/', L'\\');
    const std::wstring wanted = ReplaceAll(std::wstring(pattern), L'/', L'\\');
    if (wanted.empty()) return false;

    // "Doc\*": everything below Doc at any depth, never a file called Doc.
    if (wanted.size() >= 2 && wanted.ends_with(L"\\*")) {
        return StartsWithIgnoreAsciiCase(path, std::wstring_view(wanted).substr(0, wanted.size() - 1));
    }
    if (wanted.find_first_of(L"*?") != std::wstring::npos) return MatchDosWildcard(path, wanted);
    return EqualsIgnoreAsciiCase(path, wanted);
}

std::wstring LicenseRelativePath(std::wstring_view licenseFile) {
    std::wstring path = ReplaceAll(std::wstring(licenseFile), L'/', L'\\');
    if (StartsWithIgnoreAsciiCase(path, L"files\\")) path.erase(0, 6);
    return path;
}

}  // namespace zel
