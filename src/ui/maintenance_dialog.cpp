#include "ui/maintenance_dialog.h"

namespace zel {

// Placeholder until the maintenance dialog lands.
INT_PTR CALLBACK MaintenanceDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace zel
