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

}  // namespace zel
