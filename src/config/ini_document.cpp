#include "config/ini_document.h"

#include <string_view>

#include "util/ascii.h"
#include "util/unicode.h"

namespace zel {
namespace {

// Blanks the profile reader strips around names and values.
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f'; }

std::wstring_view TrimBlanks(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::wstring DecodeText(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return DecodeUtf16Le(bytes.subspan(2));
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        // UTF-16BE: swap into little-endian order and decode that.
        std::vector<std::uint8_t> swapped(bytes.begin() + 2, bytes.end());
        for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
        return DecodeUtf16Le(swapped);
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) bytes = bytes.subspan(3);
    return Utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// A value wrapped in matching single or double quotes loses them, as
// GetPrivateProfileStringW does (section listings keep them).
std::wstring StripQuotes(const std::wstring& value) {
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

IniDocument IniDocument::Parse(std::span<const std::uint8_t> bytes) {
    IniDocument document;
    const std::wstring text = DecodeText(bytes);

    // Lines before the first header belong to an unnamed section that no
    // lookup by a real name reaches.
    document.sections_.push_back(Section{});
    std::size_t pos = 0;
    std::size_t lineNumber = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring_view line = TrimBlanks(std::wstring_view(text).substr(pos, end - pos));
        // CR LF ends one line.
        if (end + 1 < text.size() && text[end] == L'\r' && text[end + 1] == L'\n') ++end;
        pos = end + 1;
        ++lineNumber;

        if (line.empty() || line.front() == L';') continue;
        if (line.front() == L'[') {
            const std::size_t close = line.rfind(L']');
            if (close != std::wstring_view::npos && close > 0) {
                document.sections_.push_back(
                    Section{std::wstring(TrimBlanks(line.substr(1, close - 1))), {}, lineNumber});
                continue;
            }
            // A header without "]" is an ordinary line of the current section.
        }
        Line entry;
        entry.lineNumber = lineNumber;
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) {
            entry.key = std::wstring(line);
            entry.raw = entry.key;
        } else {
            entry.key = std::wstring(TrimBlanks(line.substr(0, equals)));
            entry.value = std::wstring(TrimBlanks(line.substr(equals + 1)));
            entry.raw = entry.key + L"=" + entry.value;
        }
        document.sections_.back().lines.push_back(std::move(entry));
    }
    return document;
}

bool IniDocument::HasSection(std::wstring_view section) const {
    section = TrimBlanks(section);
    for (const Section& s : sections_) {
        if (&s != &sections_.front() && EqualsIgnoreAsciiCase(s.name, section)) return true;
    }
    return false;
}

std::optional<std::wstring> IniDocument::GetValue(std::wstring_view section, std::wstring_view key) const {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    for (const Section& s : sections_) {
        if (&s == &sections_.front() || !EqualsIgnoreAsciiCase(s.name, section)) continue;
        for (const Line& line : s.lines) {
            // A line without "=" (raw equals key) names no value.
            if (line.raw.size() != line.key.size() && EqualsIgnoreAsciiCase(line.key, key)) {
                return StripQuotes(line.value);
            }
        }
        return std::nullopt;  // only the first section of a name counts
    }
    return std::nullopt;
}

std::vector<std::wstring> IniDocument::SectionLines(std::wstring_view section) const {
    section = TrimBlanks(section);
    std::vector<std::wstring> lines;
    for (const Section& s : sections_) {
        if (&s == &sections_.front() || !EqualsIgnoreAsciiCase(s.name, section)) continue;
        for (const Line& line : s.lines) lines.push_back(line.raw);
        break;
    }
    return lines;
}

}  // namespace zel
