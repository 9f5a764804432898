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
    ::SendMessageW(log, EM_SETSEL, length, static_cast<LPARAM>(length));
    ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    // Caret and view end where setting the whole text leaves them: at the start.
    ::SendMessageW(log, EM_SETSEL, 0, 0);
    ::SendMessageW(log, WM_VSCROLL, SB_TOP, 0);
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
    if (::GetTickCount64() - batch->lastUpdate_ >= kProgressLogInterval) batch->Flush();
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
    lastUpdate_ = ::GetTickCount64();
    if (pending_.empty()) return;
    InsertIntoLog(wizard_, pending_);
    pending_.clear();
}

std::wstring Win32ErrorText(DWORD code) {
    if (code == 0) return {};
    UniqueLocalMem buffer;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the system's allocation.
    const DWORD length = ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    if (length == 0 || !buffer) return L"(Win32=" + UnsignedDecimal(code) + L")";

    std::wstring text(static_cast<const wchar_t*>(buffer.get()), length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text + L" (Win32=" + UnsignedDecimal(code) + L")";
}

std::wstring UnsignedDecimal(std::uint32_t value) {
    wchar_t digits[10];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(std::make_reverse_iterator(digits + count), std::make_reverse_iterator(digits));
}

}  // namespace zel
