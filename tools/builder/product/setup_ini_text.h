// setup.ini in the one form setup.exe reads it: UTF-16LE with a byte-order
// mark. Product folders hold it as their authors' editors saved it, so the
// builder converts it once, and refuses text it cannot be sure to read right.
// Portable.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zel {

// setup.ini as the installer reads it: UTF-16LE with a byte-order mark. Input
// in that form is kept as it is; UTF-8 (with or without a mark) is converted.
// Throws for anything else (UTF-16 without a mark, big-endian, odd length,
// invalid UTF-8).
std::vector<std::uint8_t> SetupIniAsStored(std::span<const std::uint8_t> bytes);

}  // namespace zel
