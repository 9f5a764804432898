// The install run: installs, updates or repairs the product from the wizard.
#pragma once

#include <windows.h>

#include "app/setup_context.h"

namespace zel {

// Runs the whole install into context.installDir. Leaves the wizard on Finish
// after success, or on Progress with Next captioned "再試行" after a failure.
void RunInstall(SetupContext& context);

// The run's error boxes go through this function (MessageBoxW by default), so
// that tests can see them without a modal box blocking. Returns the previous one;
// nullptr restores MessageBoxW.
using InstallMessageBoxFunction = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
InstallMessageBoxFunction SetInstallMessageBoxFunction(InstallMessageBoxFunction function);

}  // namespace zel
