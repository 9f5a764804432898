// Text helpers for names, paths and setup.ini values: letter case folded only for
// the ASCII letters A-Z, as the installer does wherever names and paths are
// compared; replacing one character; trimming ASCII blanks and line ends. Portable.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace zel {

constexpr wchar_t AsciiLower(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }
constexpr char AsciiLower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](wchar_t x, wchar_t y) { return AsciiLower(x) == AsciiLower(y); });
}

inline bool StartsWithIgnoreAsciiCase(std::wstring_view text, std::wstring_view prefix) noexcept {
    return text.size() >= prefix.size() && EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithIgnoreAsciiCase(std::wstring_view text, std::wstring_view suffix) noexcept {
    return text.size() >= suffix.size() && EqualsIgnoreAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

// Sign of a code-unit-by-code-unit comparison with ASCII letters folded.
inline int CompareIgnoreAsciiCase(std::wstring_view a, std::wstring_view b) noexcept {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned long>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned long>(AsciiLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

inline std::wstring ReplaceAll(std::wstring text, wchar_t from, wchar_t to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// The text without the blanks, tabs, CRs and LFs at either end.
inline std::wstring TrimWhitespace(std::wstring_view text) {
    constexpr auto trimmed = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    while (!text.empty() && trimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && trimmed(text.back())) text.remove_suffix(1);
    return std::wstring(text);
}

}  // namespace zel
