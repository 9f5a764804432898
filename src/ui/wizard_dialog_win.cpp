#include "ui/wizard_dialog.h"

#include <richedit.h>
#include <shlobj.h>

#include <iterator>

#include "install/destination/destination_rules.h"
#include "install/install_run.h"
#include "ui/dialog_actions.h"
#include "ui/dialog_look.h"
#include "ui/dialog_thunk.h"
#include "ui/resource_ids.h"
#include "ui/wizard_pages.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr int kInstallDirCapacity = 1024;  // at most 1023 characters are taken
constexpr int kWheelForwardedIds[] = {IDC_NEXT, IDC_BACK, IDC_CANCEL, IDC_BROWSE, IDC_LICENSE_ACCEPT, IDC_PATH_EDIT};

void WarnInput(SetupContext& context, const wchar_t* text) {
    context.reporter->Notify(NoticeKind::Warning, L"入力チェック", text);
}

void StartInstall(SetupContext& context) { GetWizardActions().runInstall(context, *context.reporter); }

void ShowControl(HWND dialog, int id, bool visible) {
    if (HWND control = ::GetDlgItem(dialog, id)) ::ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

void EnableControl(HWND dialog, int id, bool enabled) {
    if (HWND control = ::GetDlgItem(dialog, id)) ::EnableWindow(control, enabled ? TRUE : FALSE);
}

bool IsChecked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Puts the licence view at its start, however it was scrolled before.
void RewindLicenseText(HWND dialog) {
    HWND text = ::GetDlgItem(dialog, IDC_LICENSE_TEXT);
    if (!text) return;
    ::SendMessageW(text, EM_SETSEL, 0, 0);
    ::SendMessageW(text, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(text, EM_LINESCROLL, 0, -32767);
    ::SendMessageW(text, WM_VSCROLL, SB_TOP, 0);
}

void GoToPage(SetupContext& context, WizardPage page) {
    context.page = page;
    ShowPage(context);
}

BOOL OnInitDialog(HWND dialog, SetupContext& context) {
    context.hwnd = dialog;
    ::SetWindowTextW(dialog, L"セットアップ");
    ::SetDlgItemTextW(dialog, IDC_PATH_LABEL, L"インストール先:");
    ::SetDlgItemTextW(dialog, IDC_LICENSE_ACCEPT, L"使用許諾契約に同意します");

    if (HWND license = ::GetDlgItem(dialog, IDC_LICENSE_TEXT)) {
        ::SetWindowTextW(license, context.licenseText.c_str());
        ::SendMessageW(license, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 255));
        ::SendMessageW(license, EM_SETREADONLY, TRUE, 0);
        ::SendMessageW(license, EM_SETSEL, 0, 0);
        ::SendMessageW(license, EM_SCROLLCARET, 0, 0);
        ::SendMessageW(license, WM_VSCROLL, SB_TOP, 0);
    }
    ::SendDlgItemMessageW(dialog, IDC_LOG, EM_SETREADONLY, TRUE, 0);
    ::CheckDlgButton(dialog, IDC_LICENSE_ACCEPT, BST_UNCHECKED);

    CenterOnMonitor(dialog);

    ApplyHeaderFonts(dialog, context.titleFont, context.subtitleFont);

    ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, context.installDir.c_str());

    bool maintenanceRun = GetInstallMode(context) != InstallMode::Install;
    if (maintenanceRun) context.page = Progress;
    ShowPage(context);
    if (maintenanceRun) ::PostMessageW(dialog, kStartInstallMessage, 0, 0);

    InstallWheelForwarding(dialog, kWheelForwardedIds, static_cast<int>(std::size(kWheelForwardedIds)));
    return TRUE;  // the system sets the initial focus
}

void OnNext(HWND dialog, SetupContext& context) {
    switch (context.page) {
        case Welcome:
            // Acceptance is asked for again every time the licence page is entered from the front.
            context.licenseAccepted = false;
            ::CheckDlgButton(dialog, IDC_LICENSE_ACCEPT, BST_UNCHECKED);
            GoToPage(context, License);
            break;
        case License:
            if (context.licenseAccepted) {
                GoToPage(context, Destination);
            } else {
                WarnInput(context, L"使用許諾契約への同意が必要です。");
            }
            break;
        case Destination: {
            wchar_t folder[kInstallDirCapacity] = {};
            ::GetDlgItemTextW(dialog, IDC_PATH_EDIT, folder, kInstallDirCapacity);
            context.installDir = folder;
            std::wstring problem;
            if (context.installDir.empty()) {
                WarnInput(context, L"インストール先フォルダが空です。");
            } else if (!ValidateDestination(context.installDir, context.config.AppName, problem)) {
                WarnInput(context, problem.c_str());
            } else {
                StartInstall(context);
            }
            break;
        }
        case Progress:
            StartInstall(context);  // retry after a failed run
            break;
        default:
            ::EndDialog(dialog, kWizardFinished);
            break;
    }
}

void OnBack(HWND dialog, SetupContext& context) {
    if (context.page == License) {
        GoToPage(context, Welcome);
    } else if (context.page == Destination) {
        context.licenseAccepted = IsChecked(dialog, IDC_LICENSE_ACCEPT);
        GoToPage(context, License);
    }
}

void OnBrowse(HWND dialog) {
    BROWSEINFOW browse{};
    browse.hwndOwner = dialog;
    browse.lpszTitle = L"インストール先フォルダを選択";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    UniqueCoTaskMem items(::SHBrowseForFolderW(&browse));
    if (!items) return;
    wchar_t path[MAX_PATH] = {};
    if (::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(items.get()), path)) {
        ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, path);
    }
}

void OnAcceptToggled(HWND dialog, SetupContext& context) {
    if (context.page != License) return;
    context.licenseAccepted = IsChecked(dialog, IDC_LICENSE_ACCEPT);
    EnableControl(dialog, IDC_NEXT, context.licenseAccepted);
}

// Returns whether the command was handled; the standard cancel id (Escape, close
// box) is not, so the wizard ends only through Cancel or the Finish button.
bool OnCommand(HWND dialog, SetupContext& context, int id) {
    switch (id) {
        case IDC_NEXT:
            OnNext(dialog, context);
            return true;
        case IDC_BACK:
            OnBack(dialog, context);
            return true;
        case IDC_CANCEL:
            ::EndDialog(dialog, kWizardCancelled);
            return true;
        case IDC_BROWSE:
            OnBrowse(dialog);
            return true;
        case IDC_LICENSE_ACCEPT:
            OnAcceptToggled(dialog, context);
            return true;
        default:
            return false;
    }
}

void OnDestroy(HWND dialog, SetupContext& context) {
    RemoveWheelForwarding(dialog, kWheelForwardedIds, static_cast<int>(std::size(kWheelForwardedIds)));
    DeleteHeaderFonts(context.titleFont, context.subtitleFont);
}

// A wizard without a reporter would have nowhere to send the run's log and messages.
bool AdmitContext(HWND dialog, SetupContext& context) {
    if (context.reporter) return true;
    ::EndDialog(dialog, kWizardNotStarted);
    return false;
}

INT_PTR HandleMessage(HWND dialog, SetupContext& context, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(dialog, context, LOWORD(wParam)) ? TRUE : FALSE;
        case kStartInstallMessage:
            StartInstall(context);
            return TRUE;
        case WM_PAINT:
            PaintDialog(dialog, context.config.AppName);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            return reinterpret_cast<INT_PTR>(ControlColors(LookDialog::Wizard, message, reinterpret_cast<HDC>(wParam),
                                                           reinterpret_cast<HWND>(lParam)));
        case WM_DESTROY:
            OnDestroy(dialog, context);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

WizardActions& GetWizardActions() {
    static WizardActions actions{&RunInstall};
    return actions;
}

void ShowPage(SetupContext& context) {
    HWND dialog = context.hwnd;
    if (!dialog) return;
    ::SetDlgItemTextW(dialog, IDC_BACK, L"戻る");
    ::SetDlgItemTextW(dialog, IDC_CANCEL, L"キャンセル");
    ::SetDlgItemTextW(dialog, IDC_BROWSE, L"参照...");

    PageLayout layout =
        GetPageLayout(context.page, GetInstallMode(context), context.config.AppName, context.licenseAccepted);
    for (int id : {IDC_PATH_LABEL, IDC_PATH_EDIT, IDC_BROWSE}) ShowControl(dialog, id, layout.showDestination);
    for (int id : {IDC_LICENSE_TEXT, IDC_LICENSE_ACCEPT}) ShowControl(dialog, id, layout.showLicense);
    for (int id : {IDC_PROGRESS, IDC_LOG}) ShowControl(dialog, id, layout.showProgress);
    if (!layout.known) return;

    ::SetDlgItemTextW(dialog, IDC_TITLE, layout.title.c_str());
    ::SetDlgItemTextW(dialog, IDC_SUBTITLE, layout.subtitle.c_str());
    EnableControl(dialog, IDC_BACK, layout.backEnabled);
    if (layout.nextCaption) ::SetDlgItemTextW(dialog, IDC_NEXT, layout.nextCaption->c_str());
    EnableControl(dialog, IDC_NEXT, layout.nextEnabled);
    if (context.page == License) {
        ::CheckDlgButton(dialog, IDC_LICENSE_ACCEPT, context.licenseAccepted ? BST_CHECKED : BST_UNCHECKED);
        RewindLicenseText(dialog);
    }

    if (layout.focusId != 0) {
        HWND focus = ::GetDlgItem(dialog, layout.focusId);
        if (focus && ::IsWindowVisible(focus)) ::SetFocus(focus);
    }
}

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DialogProcOf<SetupContext, &OnInitDialog, &HandleMessage, &AdmitContext>(dialog, message, wParam, lParam);
}

}  // namespace zel
