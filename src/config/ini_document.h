// A portable reader for setup.ini, for code that runs without the Win32 profile
// functions (InstallerBuilder on Linux). It follows the profile-file semantics the
// installer relies on: section and key names compare without regard to case, the
// first match of a key wins, values lose surrounding blanks, a section's lines come
// back in file order as "key=value".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class IniDocument {
public:
    // Accepts UTF-16LE with a byte-order mark, and UTF-8 with or without one.
    static IniDocument Parse(std::span<const std::uint8_t> bytes);

    bool HasSection(std::wstring_view section) const;
    // The first value of the key in the first section of that name; nullopt when absent.
    std::optional<std::wstring> GetValue(std::wstring_view section, std::wstring_view key) const;
    // The section's lines as the profile API returns them: "key=value" in file order.
    std::vector<std::wstring> SectionLines(std::wstring_view section) const;

    // The file as read, for checks that name a line (InstallerBuilder).
    struct Line {
        std::wstring key;
        std::wstring value;
        std::wstring raw;  // what SectionLines returns for the line
        std::size_t lineNumber = 0;
        bool HasEquals() const { return raw.size() != key.size(); }
    };
    struct Section {
        std::wstring name;
        std::vector<Line> lines;
        std::size_t lineNumber = 0;  // of its header
    };
    // Every section in file order; the first one (no name, line 0) holds the
    // lines before the first header.
    const std::vector<Section>& Sections() const { return sections_; }

private:
    std::vector<Section> sections_;
};

}  // namespace zel
