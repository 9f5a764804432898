// The setup wizard (dialog 101).
#pragma once

#include <windows.h>

#include "ui/wizard_state.h"

namespace zel {

inline constexpr UINT kStartInstallMessage = WM_APP + 1;

// How the wizard ends: the result of DialogBoxParamW.
enum WizardResult : INT_PTR {
    kWizardNotStarted = -1,  // no reporter in the state: nothing could be shown
    kWizardFinished = 1,     // the Finish page's button
    kWizardCancelled = 2     // the Cancel button
};

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Lays out the page that state.page names.
void ShowPage(WizardState& state);

}  // namespace zel
