// The licence text as the wizard will show it, decoded the way setup.exe
// decodes it, so that the builder can refuse a licence that would show nothing.
// Portable.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zel {

// The licence text as the installer decodes it: UTF-16LE after its mark with
// trailing U+0000 removed (empty for an odd length), UTF-8 after its mark, or
// UTF-8 with invalid sequences as U+FFFD.
std::wstring DecodeLicenseText(std::span<const std::uint8_t> bytes);

// Why the wizard would not show the licence as its author wrote it (a clause
// with what it would show instead), or empty when it would: text that is not
// UTF-16LE after its byte-order mark nor valid UTF-8 shows replacement
// characters (a Shift_JIS file shows them wherever the system's code page is
// not Japanese, and setup.exe never uses the code page), and a NUL character
// ends the text shown.
std::string LicenseEncodingProblem(std::span<const std::uint8_t> bytes);

}  // namespace zel
