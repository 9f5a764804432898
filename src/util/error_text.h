// The Win32 error text shown after an operation's own message, and the decimal
// digits it is built with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zel {

// The system's message for an error code + " (Win32=" + code + ")"; "(Win32=code)"
// when the system has no text; empty for 0.
std::wstring Win32ErrorText(DWORD code);

// Decimal digits of an unsigned 32-bit value.
std::wstring UnsignedDecimal(std::uint32_t value);

}  // namespace zel
