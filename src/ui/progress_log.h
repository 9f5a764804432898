// The wizard's progress log (control 1007).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zel {

// Appends one line plus CR LF to the log control of the wizard dialog.
void AppendProgressLog(HWND wizard, const std::wstring& line);

}  // namespace zel
