#include "automation/ui.h"

namespace zel::e2e {
namespace {

constexpr UINT kMessageTimeoutMs = 5000;

struct EnumState {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto& state = *reinterpret_cast<EnumState*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == state.processId && ::IsWindowVisible(window)) state.windows.push_back(window);
    return TRUE;
}

bool HasControls(HWND window, std::initializer_list<int> ids) {
    for (int id : ids) {
        if (!::GetDlgItem(window, id)) return false;
    }
    return true;
}

bool HasPushButton(HWND window) {
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE}) {
        HWND button = ::GetDlgItem(window, id);
        if (button && ClassName(button) == L"Button") return true;
    }
    return false;
}

}  // namespace

const char* WindowKindName(WindowKind kind) {
    switch (kind) {
        case WindowKind::Wizard:
            return "wizard";
        case WindowKind::Maintenance:
            return "maintenance dialog";
        case WindowKind::MessageBox:
            return "message box";
        case WindowKind::Other:
            return "other window";
    }
    return "?";
}

WindowKind ClassifyWindow(HWND window) {
    if (HasControls(window, {1009, 1010, 1001})) return WindowKind::Wizard;
    if (HasControls(window, {1022, 1024})) return WindowKind::Maintenance;
    if (ClassName(window) == L"#32770" && HasPushButton(window)) return WindowKind::MessageBox;
    return WindowKind::Other;
}

std::vector<HWND> ProcessWindows(DWORD processId) {
    EnumState state{processId, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return state.windows;
}

HWND FindProcessWindow(DWORD processId, WindowKind kind) {
    for (HWND window : ProcessWindows(processId)) {
        if (ClassifyWindow(window) == kind) return window;
    }
    return nullptr;
}

HWND WaitForProcessWindow(DWORD processId, WindowKind kind, std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindProcessWindow(processId, kind)) != nullptr; }, timeout);
    return found;
}

bool WaitForWindowClosed(HWND window, std::chrono::milliseconds timeout) {
    return WaitFor([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, timeout);
}

std::wstring WindowText(HWND window) {
    if (!window) return {};
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                               kMessageTimeoutMs, &copied))
        return {};
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

std::wstring ControlText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

bool ControlExists(HWND dialog, int id) { return ::GetDlgItem(dialog, id) != nullptr; }

bool IsControlEnabled(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    return control && ::IsWindowEnabled(control);
}

bool IsControlVisible(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    return control && ::IsWindowVisible(control);
}

bool IsControlChecked(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    DWORD_PTR state = 0;
    if (!control || !::SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &state))
        return false;
    return state == BST_CHECKED;
}

void Click(HWND dialog, int id) {
    if (HWND button = ::GetDlgItem(dialog, id)) ::PostMessageW(button, BM_CLICK, 0, 0);
}

bool TypeText(HWND dialog, int id, const std::wstring& text) {
    HWND control = ::GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    return control &&
           ::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                                 kMessageTimeoutMs, &result) &&
           result == TRUE;
}

void PressEscapeKey(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND target = dialog;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == dialog || ::IsChild(dialog, info.hwndFocus)))
        target = info.hwndFocus;
    const UINT scanCode = ::MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1 | (scanCode << 16));
    ::PostMessageW(target, WM_KEYUP, VK_ESCAPE, 1 | (scanCode << 16) | 0xC0000000u);
}

void SendCancelCommand(HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

void PressCloseBox(HWND dialog) { ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

void Settle(HWND window, std::chrono::milliseconds pause) {
    ::Sleep(static_cast<DWORD>(pause.count()));
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored);
}

}  // namespace zel::e2e
