#include "ui/dialog_look.h"

#include <windowsx.h>

#include <utility>

#include "ui/resource_ids.h"
#include "ui/system_libraries.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr COLORREF kBandTop = RGB(18, 72, 140);
constexpr COLORREF kBandBottom = RGB(10, 40, 90);
constexpr COLORREF kBandText = RGB(255, 255, 255);
constexpr COLORREF kSeparator = RGB(210, 210, 210);
constexpr COLORREF kTitleText = RGB(18, 72, 140);
constexpr COLORREF kBodyText = RGB(30, 30, 30);
constexpr COLORREF kHeaderBackground = RGB(245, 247, 250);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kBandTextPoints = 11;
constexpr RECT kBandTextMargins{12, 18, 98, 0};  // bottom: the client bottom

HBRUSH WhiteBrush() { return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)); }

// One brush per dialog and control, created on first use and kept until the
// process ends (a dialog may be opened again and the brush is tiny).
HBRUSH HeaderBrush(LookDialog dialog, int controlId) {
    static HBRUSH brushes[2][2] = {};
    HBRUSH& brush = brushes[dialog == LookDialog::Wizard ? 0 : 1][controlId == IDC_TITLE ? 0 : 1];
    if (!brush) brush = ::CreateSolidBrush(kHeaderBackground);
    return brush;
}

COLOR16 Channel(BYTE value) { return static_cast<COLOR16>(value << 8); }

TRIVERTEX Vertex(LONG x, LONG y, COLORREF color) {
    TRIVERTEX vertex{};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = Channel(GetRValue(color));
    vertex.Green = Channel(GetGValue(color));
    vertex.Blue = Channel(GetBValue(color));
    vertex.Alpha = 0xFF00;
    return vertex;
}

bool IsEditClass(HWND control) {
    wchar_t className[16] = {};
    if (::GetClassNameW(control, className, 16) == 0) return false;
    return ::lstrcmpiW(className, L"Edit") == 0;
}

bool IsScrollableText(HWND window) {
    int id = ::GetDlgCtrlID(window);
    return id == IDC_LOG || id == IDC_LICENSE_TEXT;
}

}  // namespace

HFONT CreateDialogFont(int points, bool bold) {
    const WindowDc screen;
    const int pixelsPerInch = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(points, pixelsPerInch, 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    ::lstrcpynW(font.lfFaceName, L"Segoe UI", LF_FACESIZE);
    return ::CreateFontIndirectW(&font);
}

void PaintHeader(HWND dialog, HDC dc, const std::wstring& text) {
    RECT client{};
    ::GetClientRect(dialog, &client);

    TRIVERTEX vertices[2] = {Vertex(0, 0, kBandTop), Vertex(kBandWidth, client.bottom, kBandBottom)};
    GRADIENT_RECT mesh{0, 1};
    GradientFillRects(dc, vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_V);

    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kBandText);
    UniqueGdiObject bandFont(CreateDialogFont(kBandTextPoints, true));
    HGDIOBJ previousFont = ::SelectObject(dc, bandFont.get());
    RECT textRect = kBandTextMargins;
    textRect.bottom = client.bottom;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, DT_WORDBREAK);
    ::SelectObject(dc, previousFont);

    UniqueGdiObject pen(::CreatePen(PS_SOLID, 1, kSeparator));
    HGDIOBJ previousPen = ::SelectObject(dc, pen.get());
    ::MoveToEx(dc, kBandWidth, client.top, nullptr);
    ::LineTo(dc, kBandWidth, client.bottom);
    ::MoveToEx(dc, kBandWidth, kSeparatorY, nullptr);
    ::LineTo(dc, client.right, kSeparatorY);
    ::SelectObject(dc, previousPen);
}

HBRUSH ControlColors(LookDialog dialog, UINT message, HDC dc, HWND control) {
    switch (message) {
        case WM_CTLCOLORDLG:
            return WhiteBrush();
        case WM_CTLCOLOREDIT:
            if (dialog != LookDialog::Wizard) return nullptr;
            ::SetBkColor(dc, kWhite);
            ::SetTextColor(dc, kBodyText);
            return WhiteBrush();
        case WM_CTLCOLORSTATIC: {
            // Read-only edits (the log) ask with WM_CTLCOLORSTATIC; they keep a white page.
            int id = ::GetDlgCtrlID(control);
            bool textControl = id == IDC_LOG || id == IDC_LICENSE_TEXT;
            if (dialog == LookDialog::Wizard && IsEditClass(control)) textControl = true;
            if (textControl) {
                ::SetBkMode(dc, OPAQUE);
                ::SetBkColor(dc, kWhite);
                ::SetTextColor(dc, kBodyText);
                return WhiteBrush();
            }
            ::SetBkMode(dc, TRANSPARENT);
            if (id == IDC_TITLE) {
                ::SetTextColor(dc, kTitleText);
                return HeaderBrush(dialog, IDC_TITLE);
            }
            if (id == IDC_SUBTITLE) {
                ::SetTextColor(dc, kBodyText);
                return HeaderBrush(dialog, IDC_SUBTITLE);
            }
            return WhiteBrush();
        }
        default:
            return nullptr;
    }
}

POINT CenteredPosition(const RECT& window, const RECT& workArea) {
    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;
    return POINT{workArea.left + (workArea.right - workArea.left - width) / 2,
                 workArea.top + (workArea.bottom - workArea.top - height) / 2};
}

void CenterOnMonitor(HWND window) {
    RECT rect{};
    if (!::GetWindowRect(window, &rect)) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    POINT topLeft = CenteredPosition(rect, monitor.rcWork);
    ::SetWindowPos(window, nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

LRESULT CALLBACK WheelForwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    if (id != kWheelSubclassId || (message != WM_MOUSEWHEEL && message != WM_MOUSEHWHEEL)) {
        return DefaultSubclassProc(window, message, wParam, lParam);
    }
    HWND dialog = ::GetParent(window);
    POINT pointer{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    for (HWND target = ::WindowFromPoint(pointer); target; target = ::GetParent(target)) {
        if (IsScrollableText(target)) {
            if (!dialog || !::IsChild(dialog, target)) break;
            ::SendMessageW(target, message, wParam, lParam);
            return 0;
        }
        if (target == dialog) break;
    }
    return DefaultSubclassProc(window, message, wParam, lParam);
}

void InstallWheelForwarding(HWND dialog, const int* ids, int count) {
    for (int i = 0; i < count; ++i) {
        if (HWND control = ::GetDlgItem(dialog, ids[i])) {
            SetControlSubclass(control, WheelForwardingProc, kWheelSubclassId, 0);
        }
    }
}

void RemoveWheelForwarding(HWND dialog, const int* ids, int count) {
    for (int i = 0; i < count; ++i) {
        if (HWND control = ::GetDlgItem(dialog, ids[i])) {
            RemoveControlSubclass(control, WheelForwardingProc, kWheelSubclassId);
        }
    }
}

void ApplyHeaderFonts(HWND dialog, HFONT& titleFont, HFONT& subtitleFont) {
    constexpr int kTitlePoints = 12;
    constexpr int kSubtitlePoints = 9;
    titleFont = CreateDialogFont(kTitlePoints, true);
    subtitleFont = CreateDialogFont(kSubtitlePoints, false);
    ::SendDlgItemMessageW(dialog, IDC_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont), TRUE);
    ::SendDlgItemMessageW(dialog, IDC_SUBTITLE, WM_SETFONT, reinterpret_cast<WPARAM>(subtitleFont), TRUE);
}

void DeleteHeaderFonts(HFONT& titleFont, HFONT& subtitleFont) {
    UniqueGdiObject title(std::exchange(titleFont, nullptr));
    UniqueGdiObject subtitle(std::exchange(subtitleFont, nullptr));
}

void PaintDialog(HWND dialog, const std::wstring& text) {
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(dialog, &paint);
    if (dc) PaintHeader(dialog, dc, text);
    ::EndPaint(dialog, &paint);
}

}  // namespace zel
