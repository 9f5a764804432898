#include "builder/product/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace zel {
namespace {

// The length of the valid UTF-8 sequence at text[at] and its code point, or 0
// when the bytes there are not one (overlong forms, surrogates and values
// beyond U+10FFFF included).
std::size_t DecodeOne(std::string_view text, std::size_t at, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

bool IsBidiControl(std::uint32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string TerminalText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    char escape[16];
    for (std::size_t at = 0; at < utf8.size();) {
        std::uint32_t c = 0;
        const std::size_t length = DecodeOne(utf8, at, c);
        if (length == 0 || c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof(escape), "\\x%02X",
                          static_cast<unsigned>(static_cast<std::uint8_t>(utf8[at])));
            out += escape;
            ++at;
        } else if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || IsBidiControl(c)) {
            std::snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(c));
            out += escape;
            at += length;
        } else {
            out.append(utf8.substr(at, length));
            at += length;
        }
    }
    return out;
}

}  // namespace zel
