// Calls the wizard makes outside the dialog: the install run and the input-check
// message boxes. Tests replace them to observe the calls without running an install
// or blocking in a message box.
#pragma once

#include <windows.h>

#include "app/setup_context.h"

namespace zel {

struct WizardActions {
    void (*runInstall)(SetupContext& context);
    int(WINAPI* messageBox)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
};

// The actions in use; by default RunInstall and MessageBoxW.
WizardActions& GetWizardActions();

}  // namespace zel
