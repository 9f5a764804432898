#include "ui/maintenance_dialog.h"

#include "ui/dialog_look.h"
#include "ui/dialog_thunk.h"
#include "ui/resource_ids.h"
#include "ui/wizard_pages.h"

namespace zel {
namespace {

const std::wstring& AppNameOf(const MaintenanceParams& params) {
    static const std::wstring kNone;
    return params.config ? params.config->AppName : kNone;
}

BOOL OnInitDialog(HWND dialog, MaintenanceParams& params) {
    ::SetWindowTextW(dialog, L"メンテナンス");
    ::SetDlgItemTextW(dialog, IDC_TITLE, L"メンテナンス");

    const SetupConfig* config = params.config;
    const InstalledProduct* product = params.product;
    std::wstring message = MaintenanceMessage(product ? product->displayVersion : std::wstring(),
                                              config ? config->AppVersion : std::wstring(),
                                              product ? product->installLocation : std::wstring());
    ::SetDlgItemTextW(dialog, IDC_SUBTITLE, message.c_str());

    ::SetDlgItemTextW(dialog, IDC_MAINT_UPDATE, L"アップデート (既存環境を維持して新しいバージョンを適用)");
    ::SetDlgItemTextW(dialog, IDC_MAINT_REPAIR, L"修復 (ファイルを再コピーして登録を更新)");
    ::SetDlgItemTextW(dialog, IDC_MAINT_UNINSTALL, L"アンインストール");
    ::SetDlgItemTextW(dialog, IDC_MAINT_CONTINUE, L"続行");
    ::SetDlgItemTextW(dialog, IDC_MAINT_CANCEL, L"キャンセル");

    const bool updateAvailable = params.updateAvailable;
    if (HWND update = ::GetDlgItem(dialog, IDC_MAINT_UPDATE)) ::EnableWindow(update, updateAvailable ? TRUE : FALSE);
    ::CheckRadioButton(dialog, IDC_MAINT_REPAIR, IDC_MAINT_UPDATE, MaintenanceDefaultChoice(updateAvailable));

    CenterOnMonitor(dialog);

    ApplyHeaderFonts(dialog, params.titleFont, params.subtitleFont);
    return TRUE;
}

// Escape and the close box send the standard cancel id, which is not handled:
// the dialog ends only through its two buttons.
bool OnCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_MAINT_CONTINUE:
            ::EndDialog(dialog,
                        MaintenanceContinueResult(::IsDlgButtonChecked(dialog, IDC_MAINT_UPDATE) == BST_CHECKED,
                                                  ::IsDlgButtonChecked(dialog, IDC_MAINT_REPAIR) == BST_CHECKED));
            return true;
        case IDC_MAINT_CANCEL:
            ::EndDialog(dialog, kMaintenanceCancel);
            return true;
        default:
            return false;
    }
}

INT_PTR HandleMessage(HWND dialog, MaintenanceParams& params, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam)) ? TRUE : FALSE;
        case WM_PAINT:
            PaintDialog(dialog, AppNameOf(params));
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(ControlColors(
                LookDialog::Maintenance, message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_DESTROY:
            DeleteHeaderFonts(params.titleFont, params.subtitleFont);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK MaintenanceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DialogProcOf<MaintenanceParams, &OnInitDialog, &HandleMessage>(dialog, message, wParam, lParam);
}

}  // namespace zel
