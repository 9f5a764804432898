// Reading a message box of another process: title, text, icon and buttons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zel::e2e {

enum class BoxIcon { None, Error, Warning, Information, Question, Unknown };

const char* BoxIconName(BoxIcon icon);

struct MessageBoxContent {
    std::wstring title;
    std::wstring text;
    BoxIcon icon = BoxIcon::None;
    const char* iconFoundBy = "";  // "handle" or "picture", see below
    std::vector<int> buttons;      // ids of the visible push buttons (IDOK 1, IDYES 6, IDNO 7, ...), in id order
};

// The icon is found in two ways, because the handle test does not work
// everywhere: first the icon control's STM_GETICON is compared with the shared
// system icons (LoadIconW(nullptr, IDI_...)), which holds where those handles are
// shared between processes (Windows); otherwise what the control shows on the
// screen is compared with each system icon drawn on the control's background,
// and the closest one wins (Wine keeps icon handles per process).
MessageBoxContent ReadMessageBox(HWND box);

// The static control that holds the message text: id 0xFFFF on Windows, 100 in
// Wine's message box template; otherwise the first static with text that is not
// an icon.
HWND MessageBoxTextControl(HWND box);
HWND MessageBoxIconControl(HWND box);

}  // namespace zel::e2e
