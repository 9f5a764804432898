// Finding and driving the windows of another process the way a person would:
// reading texts and states, clicking, typing, pressing Escape, closing.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "automation/wait.h"

namespace zel::e2e {

enum class WindowKind {
    Wizard,       // dialog with Next, Cancel and the page title (1009, 1010, 1001)
    Maintenance,  // dialog with Continue and the Update choice (1022, 1024)
    MessageBox,   // any other dialog box (class "#32770") with a push button
    Other,
};

const char* WindowKindName(WindowKind kind);

WindowKind ClassifyWindow(HWND window);

// Visible top-level windows of the process, in z-order.
std::vector<HWND> ProcessWindows(DWORD processId);

// The first visible top-level window of the process that is of the given kind,
// or null. Waiting returns null after the timeout.
HWND FindProcessWindow(DWORD processId, WindowKind kind);
HWND WaitForProcessWindow(DWORD processId, WindowKind kind, std::chrono::milliseconds timeout = kWindowTimeout);

// True once the window is gone or hidden.
bool WaitForWindowClosed(HWND window, std::chrono::milliseconds timeout = kWindowTimeout);

// Window texts through WM_GETTEXT, which the system copies across processes.
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);
std::wstring ClassName(HWND window);

bool ControlExists(HWND dialog, int id);
bool IsControlEnabled(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);
bool IsControlChecked(HWND dialog, int id);

// Posts BM_CLICK, so the button behaves as if clicked with the mouse: a check box
// toggles and its dialog gets the notification. Posted rather than sent, because
// the click may open a modal box or run a long operation in the other process.
void Click(HWND dialog, int id);

// Replaces the text of an edit control (WM_SETTEXT).
bool TypeText(HWND dialog, int id, const std::wstring& text);

// Escape as the keyboard delivers it: key down and up posted to the control that
// has the focus in the dialog's thread, so that the dialog manager turns it into
// whatever the focused control and the dialog make of it.
void PressEscapeKey(HWND dialog);
// The command the dialog manager produces for Escape: WM_COMMAND IDCANCEL.
void SendCancelCommand(HWND dialog);
// The close box: WM_SYSCOMMAND SC_CLOSE, which the dialog manager turns into
// WM_CLOSE and then IDCANCEL.
void PressCloseBox(HWND dialog);

// Gives the other process time to handle what was posted to it and makes sure
// its GUI thread answers again.
void Settle(HWND window, std::chrono::milliseconds pause = 300ms);

}  // namespace zel::e2e
