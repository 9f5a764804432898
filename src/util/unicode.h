// The UTF-8 and UTF-16LE conversions of setup.exe and the builder alike:
// portable, so that both programs turn names and texts into the same bytes.
// std::wstring holds UTF-16 on Windows and UTF-32 elsewhere; these functions
// handle both. None fails: what cannot be converted becomes U+FFFD.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// Invalid sequences become U+FFFD.
std::wstring Utf8ToWide(std::string_view bytes);
// Strict: false when the bytes are not valid UTF-8.
bool Utf8ToWideStrict(std::string_view bytes, std::wstring& out);
// Unpaired surrogates become U+FFFD; the text ends at its first U+0000.
std::string WideToUtf8(std::wstring_view text);
// Bytes as UTF-16LE code units (an odd trailing byte is ignored). Unpaired
// surrogates become U+FFFD where wchar_t is 32 bits wide.
std::wstring DecodeUtf16Le(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> EncodeUtf16Le(std::wstring_view text);

}  // namespace zel
