#include "ui/progress_log.h"

#include <algorithm>
#include <iterator>

#include "ui/resource_ids.h"
#include "util/unique_handle.h"

namespace zel {

namespace {

ProgressLogBatch* activeBatch = nullptr;

// Puts text (whole lines, each ending in CR LF) at the end of the wizard's log.
void InsertIntoLog(HWND wizard, const std::wstring& added) {
    HWND log = ::GetDlgItem(wizard, IDC_LOG);
    if (!log || added.empty()) return;

    // The control's text is the only copy of the log. The text goes in at the end
    // through the edit control's own insertion, which lays out only what changed:
    // replacing the whole text instead re-lays every earlier line on each append
    // and makes a long install spend most of its time redrawing its log.
    const auto length = static_cast<WPARAM>(std::max(::GetWindowTextLengthW(log), 0));
    const auto limit = static_cast<WPARAM>(::SendMessageW(log, EM_GETLIMITTEXT, 0, 0));
    if (limit < length + added.size()) ::SendMessageW(log, EM_SETLIMITTEXT, 0, 0);  // 0: as large as possible
    // Moving the caret to the end and back scrolls the view twice; drawn only once,
    // at the end. (Turning drawing back on also shows a window, so a hidden log is
    // left as it is.)
    const bool visible = ::IsWindowVisible(log) != FALSE;
    if (visible) ::SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(log, EM_SETSEL, length, static_cast<LPARAM>(length));
    ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    // Caret and view end where setting the whole text leaves them: at the start.
    ::SendMessageW(log, EM_SETSEL, 0, 0);
    ::SendMessageW(log, WM_VSCROLL, SB_TOP, 0);
    if (visible) {
        ::SendMessageW(log, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(log, nullptr, TRUE);
    }
}

}  // namespace

void AppendProgressLog(HWND wizard, const std::wstring& line) {
    ProgressLogBatch* batch = activeBatch;
    if (!batch || batch->wizard_ != wizard) {
        InsertIntoLog(wizard, line + L"\r\n");
        return;
    }
    batch->pending_ += line;
    batch->pending_ += L"\r\n";
    if (::GetTickCount64() - batch->lastUpdate_ >= batch->interval_) batch->Flush();
}

ProgressLogBatch::ProgressLogBatch(HWND wizard) : wizard_(wizard), outer_(activeBatch) {
    // What an outer batch collected goes first, so the order of the lines holds.
    if (outer_) outer_->Flush();
    activeBatch = this;
}

ProgressLogBatch::~ProgressLogBatch() {
    Flush();
    activeBatch = outer_;
}

void ProgressLogBatch::Flush() noexcept {
    const ULONGLONG start = ::GetTickCount64();
    if (!pending_.empty()) {
        InsertIntoLog(wizard_, pending_);
        pending_.clear();
    }
    lastUpdate_ = ::GetTickCount64();
    // The control lays out more text the longer the log grows; updating it no
    // more often than four times its own cost keeps that under a fifth of the run.
    interval_ = std::max(kProgressLogInterval, 4 * (lastUpdate_ - start));
}

}  // namespace zel
