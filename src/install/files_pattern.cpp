#include "install/files_pattern.h"

#include <cstddef>
#include <string>

#include "util/ascii.h"

namespace zel {
namespace {

constexpr char32_t FoldAscii(char32_t c) noexcept { return (c >= U'A' && c <= U'Z') ? c + 32 : c; }

// The text as code points, so that '?' stands for one character on every
// platform: a UTF-16 surrogate pair (Windows) counts once, as the single
// UTF-32 unit it is elsewhere. A lone surrogate stays one character.
std::u32string ToCodePoints(std::wstring_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                const auto low = static_cast<char32_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    out.push_back(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace

bool MatchDosWildcard(std::wstring_view text, std::wstring_view pattern) {
    const std::u32string t = ToCodePoints(text);
    const std::u32string p = ToCodePoints(pattern);

    // Greedy match that remembers only the latest '*': when a later literal
    // fails, that star absorbs one more character and matching resumes after
    // it. An earlier star never needs revisiting, so the work stays within
    // text length times pattern length however many stars there are.
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t ti = 0;
    size_t pi = 0;
    size_t starPattern = kNone;
    size_t starText = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            starPattern = pi++;
            starText = ti;
        } else if (pi < p.size() && (p[pi] == U'?' || FoldAscii(p[pi]) == FoldAscii(t[ti]))) {
            ++pi;
            ++ti;
        } else if (starPattern != kNone) {
            pi = starPattern + 1;
            ti = ++starText;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') ++pi;
    return pi == p.size();
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
