// The maintenance dialog (dialog 102). Ends with 3 Update, 1 Repair, 2 Uninstall, 0 Cancel.
#pragma once

#include <windows.h>

#include "config/setup_config.h"
#include "install/registration/installed_product.h"
#include "ui/wizard_pages.h"

namespace zel {

// The dialog-creation parameter, built by the run driver on its own stack.
struct MaintenanceParams {
    const SetupConfig* config = nullptr;  // the product being set up
    const InstalledProduct* product = nullptr;
    bool updateAvailable = false;  // the installed version is older: Update is offered and chosen
    HFONT titleFont = nullptr;
    HFONT subtitleFont = nullptr;
};

INT_PTR CALLBACK MaintenanceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace zel
