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

void WarnInput(WizardState& state, const wchar_t* text) {
    state.reporter->Notify(NoticeKind::Warning, L"入力チェック", text);
}

void StartInstall(WizardState& state) { GetWizardActions().runInstall(state.plan, *state.reporter); }

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

void GoToPage(WizardState& state, WizardPage page) {
    state.page = page;
    ShowPage(state);
}

BOOL OnInitDialog(HWND dialog, WizardState& state) {
    state.hwnd = dialog;
    ::SetWindowTextW(dialog, L"セットアップ");
    ::SetDlgItemTextW(dialog, IDC_PATH_LABEL, L"インストール先:");
    ::SetDlgItemTextW(dialog, IDC_LICENSE_ACCEPT, L"使用許諾契約に同意します");

    if (HWND license = ::GetDlgItem(dialog, IDC_LICENSE_TEXT)) {
        ::SetWindowTextW(license, state.licenseText.c_str());
        ::SendMessageW(license, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 255));
        ::SendMessageW(license, EM_SETREADONLY, TRUE, 0);
        ::SendMessageW(license, EM_SETSEL, 0, 0);
        ::SendMessageW(license, EM_SCROLLCARET, 0, 0);
        ::SendMessageW(license, WM_VSCROLL, SB_TOP, 0);
    }
    ::SendDlgItemMessageW(dialog, IDC_LOG, EM_SETREADONLY, TRUE, 0);
    ::CheckDlgButton(dialog, IDC_LICENSE_ACCEPT, BST_UNCHECKED);

    CenterOnMonitor(dialog);

    ApplyHeaderFonts(dialog, state.titleFont, state.subtitleFont);

    ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, state.plan.installDir.c_str());

    bool maintenanceRun = state.plan.mode != InstallMode::Install;
    if (maintenanceRun) state.page = Progress;
    ShowPage(state);
    if (maintenanceRun) ::PostMessageW(dialog, kStartInstallMessage, 0, 0);

    InstallWheelForwarding(dialog, kWheelForwardedIds, static_cast<int>(std::size(kWheelForwardedIds)));
    return TRUE;  // the system sets the initial focus
}

void OnNext(HWND dialog, WizardState& state) {
    switch (state.page) {
        case Welcome:
            // Acceptance is asked for again every time the licence page is entered from the front.
            state.licenseAccepted = false;
            ::CheckDlgButton(dialog, IDC_LICENSE_ACCEPT, BST_UNCHECKED);
            GoToPage(state, NextPage(state.page));
            break;
        case License:
            if (state.licenseAccepted) {
                GoToPage(state, NextPage(state.page));
            } else {
                WarnInput(state, L"使用許諾契約への同意が必要です。");
            }
            break;
        case Destination: {
            wchar_t folder[kInstallDirCapacity] = {};
            ::GetDlgItemTextW(dialog, IDC_PATH_EDIT, folder, kInstallDirCapacity);
            state.plan.installDir = folder;
            std::wstring problem;
            if (state.plan.installDir.empty()) {
                WarnInput(state, L"インストール先フォルダが空です。");
            } else if (!ValidateDestination(state.plan.installDir, state.plan.config, problem)) {
                WarnInput(state, problem.c_str());
            } else {
                StartInstall(state);
            }
            break;
        }
        case Progress:
            StartInstall(state);  // retry after a failed run
            break;
        default:
            ::EndDialog(dialog, kWizardFinished);
            break;
    }
}

void OnBack(HWND dialog, WizardState& state) {
    // The acceptance ticked on the licence page is kept when it is entered from behind.
    const WizardPage previous = PreviousPage(state.page);
    if (previous == state.page) return;
    if (state.page == Destination) state.licenseAccepted = IsChecked(dialog, IDC_LICENSE_ACCEPT);
    GoToPage(state, previous);
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

void OnAcceptToggled(HWND dialog, WizardState& state) {
    if (state.page != License) return;
    state.licenseAccepted = IsChecked(dialog, IDC_LICENSE_ACCEPT);
    EnableControl(dialog, IDC_NEXT, state.licenseAccepted);
}

// Returns whether the command was handled; the standard cancel id (Escape, close
// box) is not, so the wizard ends only through Cancel or the Finish button.
bool OnCommand(HWND dialog, WizardState& state, int id) {
    switch (id) {
        case IDC_NEXT:
            OnNext(dialog, state);
            return true;
        case IDC_BACK:
            OnBack(dialog, state);
            return true;
        case IDC_CANCEL:
            ::EndDialog(dialog, kWizardCancelled);
            return true;
        case IDC_BROWSE:
            OnBrowse(dialog);
            return true;
        case IDC_LICENSE_ACCEPT:
            OnAcceptToggled(dialog, state);
            return true;
        default:
            return false;
    }
}

void OnDestroy(HWND dialog, WizardState& state) {
    RemoveWheelForwarding(dialog, kWheelForwardedIds, static_cast<int>(std::size(kWheelForwardedIds)));
    DeleteHeaderFonts(state.titleFont, state.subtitleFont);
}

// A wizard without a reporter would have nowhere to send the run's log and messages.
bool AdmitContext(HWND dialog, WizardState& state) {
    if (state.reporter) return true;
    ::EndDialog(dialog, kWizardNotStarted);
    return false;
}

INT_PTR HandleMessage(HWND dialog, WizardState& state, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(dialog, state, LOWORD(wParam)) ? TRUE : FALSE;
        case kStartInstallMessage:
            StartInstall(state);
            return TRUE;
        case WM_PAINT:
            PaintDialog(dialog, state.plan.config.AppName);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            return reinterpret_cast<INT_PTR>(ControlColors(LookDialog::Wizard, message, reinterpret_cast<HDC>(wParam),
                                                           reinterpret_cast<HWND>(lParam)));
        case WM_DESTROY:
            OnDestroy(dialog, state);
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

void ShowPage(WizardState& state) {
    HWND dialog = state.hwnd;
    if (!dialog) return;
    ::SetDlgItemTextW(dialog, IDC_BACK, L"戻る");
    ::SetDlgItemTextW(dialog, IDC_CANCEL, L"キャンセル");
    ::SetDlgItemTextW(dialog, IDC_BROWSE, L"参照...");

    PageLayout layout = GetPageLayout(state.page, state.plan.mode, state.plan.config.AppName, state.licenseAccepted);
    for (int id : {IDC_PATH_LABEL, IDC_PATH_EDIT, IDC_BROWSE}) ShowControl(dialog, id, layout.showDestination);
    for (int id : {IDC_LICENSE_TEXT, IDC_LICENSE_ACCEPT}) ShowControl(dialog, id, layout.showLicense);
    for (int id : {IDC_PROGRESS, IDC_LOG}) ShowControl(dialog, id, layout.showProgress);
    if (!layout.known) return;

    ::SetDlgItemTextW(dialog, IDC_TITLE, layout.title.c_str());
    ::SetDlgItemTextW(dialog, IDC_SUBTITLE, layout.subtitle.c_str());
    EnableControl(dialog, IDC_BACK, layout.backEnabled);
    if (layout.nextCaption) ::SetDlgItemTextW(dialog, IDC_NEXT, layout.nextCaption->c_str());
    EnableControl(dialog, IDC_NEXT, layout.nextEnabled);
    if (state.page == License) {
        ::CheckDlgButton(dialog, IDC_LICENSE_ACCEPT, state.licenseAccepted ? BST_CHECKED : BST_UNCHECKED);
        RewindLicenseText(dialog);
    }

    if (layout.focusId != 0) {
        HWND focus = ::GetDlgItem(dialog, layout.focusId);
        if (focus && ::IsWindowVisible(focus)) ::SetFocus(focus);
    }
}

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DialogProcOf<WizardState, &OnInitDialog, &HandleMessage, &AdmitContext>(dialog, message, wParam, lParam);
}

}  // namespace zel
