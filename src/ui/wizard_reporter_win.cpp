#include "ui/wizard_reporter.h"

#include <commctrl.h>

#include "ui/progress_log.h"
#include "ui/resource_ids.h"
#include "ui/wizard_dialog.h"

namespace zel {
namespace {

// Often enough for the wizard to stay responsive; under Wine each pump costs
// about as much as copying a small file, so not after every file.
constexpr ULONGLONG kPumpInterval = 30;  // milliseconds

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
    AppendProgressLog(state_.hwnd, line);
    MessageBoxReporter::Log(line);
}

void WizardReporter::InstallStarted() {
    logBatch_.reset();
    state_.page = Progress;
    ShowPage(state_);
    ::SetDlgItemTextW(state_.hwnd, IDC_LOG, L"");
    logBatch_.emplace(state_.hwnd);
}

void WizardReporter::InstallFinished(bool succeeded) {
    logBatch_.reset();
    if (succeeded) {
        state_.page = Finish;
        ShowPage(state_);
        return;
    }
    HWND next = ::GetDlgItem(state_.hwnd, IDC_NEXT);
    ::EnableWindow(next, TRUE);
    ::SetWindowTextW(next, L"再試行");
}

void WizardReporter::SetProgressRange(std::uint32_t total) {
    meter_.emplace(state_.hwnd, total);
    progressTotal_ = total;
    lastPump_ = 0;
}

void WizardReporter::SetProgressPosition(std::uint32_t position) {
    // The bar repaints at once on every position it takes, so it moves at the same
    // pace as the pump, and always to its end.
    const ULONGLONG now = ::GetTickCount64();
    const bool due = now - lastPump_ >= kPumpInterval;
    if (meter_ && (due || position >= progressTotal_)) meter_->Set(position);
    if (due) {
        PumpPendingMessages();
        lastPump_ = now;
    }
}

void WizardReporter::Notify(NoticeKind kind, const std::wstring& title, const std::wstring& text) {
    if (logBatch_) logBatch_->Flush();
    MessageBoxReporter::Notify(kind, title, text);
}

bool WizardReporter::Ask(const std::wstring& title, const std::wstring& text, bool quietAnswer) {
    if (logBatch_) logBatch_->Flush();
    return MessageBoxReporter::Ask(title, text, quietAnswer);
}

}  // namespace zel
