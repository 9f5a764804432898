#pragma once

#include <string_view>

namespace zel {

// Names Windows keeps for devices, with or without an extension and with blanks
// before it ("NUL .txt"): CON, PRN, AUX, NUL, the console's own CONIN$ and
// CONOUT$, and the serial and printer ports with a digit 0 to 9 or a
// superscript 1 to 3. A file of such a name opens the device instead.
bool IsDeviceName(std::wstring_view element);

// One element of a path that Windows cannot create as it is written: a
// control character or one of <>:"|?*, a trailing dot or blank (which Windows
// silently drops, so the name made would not be the one asked for), or a
// device name. "." and ".." are the caller's to judge.
bool IsNameWindowsAlters(std::wstring_view element);

}  // namespace zel
