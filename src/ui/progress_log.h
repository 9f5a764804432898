// The wizard's progress log (control 1007) and the Win32 error text.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zel {

// Appends one line plus CR LF to the log control of the wizard dialog.
void AppendProgressLog(HWND wizard, const std::wstring& line);

// The system's message for an error code + " (Win32=" + code + ")"; "(Win32=code)"
// when the system has no text; empty for 0.
std::wstring Win32ErrorText(DWORD code);

// Decimal digits of an unsigned 32-bit value.
std::wstring UnsignedDecimal(std::uint32_t value);

}  // namespace zel
