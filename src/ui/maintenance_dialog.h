// The maintenance dialog (dialog 102). Ends with 3 Update, 1 Repair, 2 Uninstall, 0 Cancel.
#pragma once

#include <windows.h>

#include "app/setup_context.h"

namespace zel {

enum MaintenanceResult : INT_PTR {
    kMaintenanceCancel = 0,
    kMaintenanceRepair = 1,
    kMaintenanceUninstall = 2,
    kMaintenanceUpdate = 3
};

INT_PTR CALLBACK MaintenanceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace zel
