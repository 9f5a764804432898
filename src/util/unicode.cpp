#include "util/unicode.h"

namespace zel {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

// Decodes one sequence at bytes[i]; returns its length, or 0 when invalid
// (the caller then consumes a maximal invalid prefix of one byte).
std::size_t DecodeOne(std::string_view bytes, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t length = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeOne(bytes, i, cp);
        if (n == 0) {
            AppendCodePoint(out, kReplacement);
            ++i;
        } else {
            AppendCodePoint(out, cp);
            i += n;
        }
    }
    return out;
}

bool Utf8ToWideStrict(std::string_view bytes, std::wstring& out) {
    out.clear();
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeOne(bytes, i, cp);
        if (n == 0) return false;
        AppendCodePoint(out, cp);
        i += n;
    }
    return true;
}

std::string WideToUtf8(std::wstring_view text) {
    // Text ends at its first U+0000, as the system's own conversion of a
    // NUL-terminated string ends there.
    text = text.substr(0, text.find(L'\0'));
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::wstring DecodeUtf16Le(std::span<const std::uint8_t> bytes) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if constexpr (sizeof(wchar_t) == 2) {
            out.push_back(static_cast<wchar_t>(u));
        } else {
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
                const char16_t v = static_cast<char16_t>(bytes[2 * i + 2] | (bytes[2 * i + 3] << 8));
                if (v >= 0xDC00 && v <= 0xDFFF) {
                    out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00)));
                    ++i;
                    continue;
                }
            }
            out.push_back(static_cast<wchar_t>((u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u));
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodeUtf16Le(std::wstring_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2);
    auto put = [&out](char32_t unit) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
    };
    for (wchar_t c : text) {
        char32_t cp = static_cast<char32_t>(c);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else if (cp > 0x10FFFF) {
            put(0xFFFD);
        } else {
            put(cp);
        }
    }
    return out;
}

}  // namespace zel
