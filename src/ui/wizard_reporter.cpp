#include "ui/wizard_reporter.h"

#include <commctrl.h>

#include "ui/progress_log.h"
#include "ui/resource_ids.h"
#include "ui/wizard_dialog.h"

namespace zel {
namespace {

// The dialog's keyboard handling is not involved. A quit request is put back for
// the modal loop that owns it instead of being swallowed here.
void PumpPendingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace

void WizardReporter::Log(const std::wstring& line) {
    AppendProgressLog(context_.hwnd, line);
    MessageBoxReporter::Log(line);
}

void WizardReporter::InstallStarted() {
    context_.page = Progress;
    ShowPage(context_);
    ::SetDlgItemTextW(context_.hwnd, IDC_LOG, L"");
}

void WizardReporter::InstallFinished(bool succeeded) {
    if (succeeded) {
        context_.page = Finish;
        ShowPage(context_);
        return;
    }
    HWND next = ::GetDlgItem(context_.hwnd, IDC_NEXT);
    ::EnableWindow(next, TRUE);
    ::SetWindowTextW(next, L"再試行");
}

void WizardReporter::SetProgressRange(std::uint32_t total) {
    HWND progress = ::GetDlgItem(context_.hwnd, IDC_PROGRESS);
    const auto count = static_cast<WORD>(total % 65536);
    ::SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(0, count));
    ::SendMessageW(progress, PBM_SETPOS, 0, 0);
}

void WizardReporter::SetProgressPosition(std::uint32_t position) {
    ::SendDlgItemMessageW(context_.hwnd, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    PumpPendingMessages();
}

}  // namespace zel
