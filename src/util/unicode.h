// Portable UTF-8 / UTF-16 conversions for code that runs without Win32 (the
// builder, the portable INI reader). std::wstring holds UTF-16 on Windows and
// UTF-32 elsewhere; these functions handle both.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// Invalid sequences become U+FFFD.
std::wstring DecodeUtf8(std::string_view bytes);
// Strict: false when the bytes are not valid UTF-8.
bool DecodeUtf8Strict(std::string_view bytes, std::wstring& out);
// Unpaired surrogates become U+FFFD.
std::string EncodeUtf8(std::wstring_view text);
// Bytes as UTF-16LE code units (an odd trailing byte is ignored). Unpaired
// surrogates become U+FFFD where wchar_t is 32 bits wide.
std::wstring DecodeUtf16Le(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> EncodeUtf16Le(std::wstring_view text);

}  // namespace zel
