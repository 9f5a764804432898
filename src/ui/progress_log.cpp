#include "ui/progress_log.h"

#include <algorithm>
#include <iterator>

#include "ui/resource_ids.h"
#include "util/unique_handle.h"

namespace zel {

void AppendProgressLog(HWND wizard, const std::wstring& line) {
    HWND log = ::GetDlgItem(wizard, IDC_LOG);
    if (!log) return;

    // The control's text is the only copy of the log. The line goes in at the end
    // through the edit control's own insertion, which lays out only what changed:
    // replacing the whole text instead re-lays every earlier line on each append
    // and makes a long install spend most of its time redrawing its log.
    const std::wstring added = line + L"\r\n";
    const auto length = static_cast<WPARAM>(std::max(::GetWindowTextLengthW(log), 0));
    const auto limit = static_cast<WPARAM>(::SendMessageW(log, EM_GETLIMITTEXT, 0, 0));
    if (limit < length + added.size()) ::SendMessageW(log, EM_SETLIMITTEXT, 0, 0);  // 0: as large as possible
    ::SendMessageW(log, EM_SETSEL, length, static_cast<LPARAM>(length));
    ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    // Caret and view end where setting the whole text leaves them: at the start.
    ::SendMessageW(log, EM_SETSEL, 0, 0);
    ::SendMessageW(log, WM_VSCROLL, SB_TOP, 0);
}

}  // namespace zel
