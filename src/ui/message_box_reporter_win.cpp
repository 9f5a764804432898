#include "ui/message_box_reporter.h"

namespace zel {
namespace {

UINT IconOf(NoticeKind kind) {
    switch (kind) {
        case NoticeKind::Error:
            return MB_ICONERROR;
        case NoticeKind::Warning:
            return MB_ICONWARNING;
        case NoticeKind::Information:
            break;
    }
    return MB_ICONINFORMATION;
}

}  // namespace

void MessageBoxReporter::Log(const std::wstring& line) {
    if (logFile_) logFile_->Write(line);
}

void MessageBoxReporter::Notify(NoticeKind kind, const std::wstring& title, const std::wstring& text) {
    ShowNotice(kind, title, text);
}

bool MessageBoxReporter::ShowNotice(NoticeKind kind, const std::wstring& title, const std::wstring& text) {
    // Written before the box appears, so that the log holds it even while the box waits.
    if (logFile_) logFile_->WriteMessage(title, text);
    // A box that could not be made gives 0 (Windows) or -1 (Wine): no button.
    return ShowBox(Owner(), title, text, MB_OK | IconOf(kind)) > 0;
}

bool MessageBoxReporter::AskRetry(const std::wstring& title, const std::wstring& text) {
    if (logFile_) logFile_->WriteMessage(title, text);
    return ShowBox(Owner(), title, text, MB_RETRYCANCEL | MB_ICONWARNING | MB_DEFBUTTON1) == IDRETRY;
}

bool MessageBoxReporter::Ask(const std::wstring& title, const std::wstring& text, bool) {
    if (logFile_) logFile_->WriteMessage(title, text);
    return ShowBox(Owner(), title, text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

int MessageBoxReporter::ShowBox(HWND owner, const std::wstring& title, const std::wstring& text, UINT style) {
    return ::MessageBoxW(owner, text.c_str(), title.c_str(), style);
}

}  // namespace zel
