// The start-up sequence of setup.exe and Uninstall.exe.
#pragma once

#include <windows.h>

namespace zel {

// Runs the whole program and returns its exit code.
int RunSetupProgram(HINSTANCE instance);

}  // namespace zel
