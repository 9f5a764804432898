// The setup wizard (dialog 101).
#pragma once

#include <windows.h>

#include "install/setup_context.h"

namespace zel {

inline constexpr UINT kStartInstallMessage = WM_APP + 1;

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Lays out the page that context.page names.
void ShowPage(SetupContext& context);

}  // namespace zel
