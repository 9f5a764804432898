#include "ui/wizard_dialog.h"

namespace zel {

// Placeholder until the wizard lands.
INT_PTR CALLBACK WizardDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
void ShowPage(SetupContext&) {}

}  // namespace zel
