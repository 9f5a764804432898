// The common look of the wizard and the maintenance dialog: fonts, the painted
// header band, control colours, centring and mouse-wheel forwarding.
#pragma once

#include <windows.h>

#include <string>

namespace zel {

inline constexpr int kBandWidth = 110;  // pixels, the same at every resolution
inline constexpr int kSeparatorY = 60;  // horizontal separator right of the band
inline constexpr UINT_PTR kWheelSubclassId = 1;

enum class LookDialog { Wizard, Maintenance };

// "Segoe UI" at the given size for the screen's resolution. Caller deletes the font.
HFONT CreateDialogFont(int points, bool bold);

// Creates the title font (12 pt bold) and the subtitle font (9 pt), stores them in
// the given fields (the dialog owns them) and assigns them to controls 1001 and 1002.
void ApplyHeaderFonts(HWND dialog, HFONT& titleFont, HFONT& subtitleFont);
// Deletes the two fonts and resets the fields to null.
void DeleteHeaderFonts(HFONT& titleFont, HFONT& subtitleFont);

// Paints the band with the application name and the separator lines. Call between
// BeginPaint and EndPaint.
void PaintHeader(HWND dialog, HDC dc, const std::wstring& text);
// A whole WM_PAINT of a dialog: BeginPaint, PaintHeader, EndPaint.
void PaintDialog(HWND dialog, const std::wstring& text);

// Answers WM_CTLCOLORDLG, WM_CTLCOLORSTATIC and WM_CTLCOLOREDIT; returns the
// background brush, or null when the dialog leaves the message to the system.
HBRUSH ControlColors(LookDialog dialog, UINT message, HDC dc, HWND control);

// Top-left corner that centres a window rectangle in a work area; negative offsets
// when the window is the larger.
POINT CenteredPosition(const RECT& window, const RECT& workArea);

// Moves a top-level window to the centre of its monitor's work area.
void CenterOnMonitor(HWND window);

// Forwards wheel turns made over the licence text or the log to that control, so
// that they scroll it whatever control has the focus.
LRESULT CALLBACK WheelForwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);

// Installs / removes WheelForwardingProc on the dialog's controls of these ids;
// missing controls are skipped.
void InstallWheelForwarding(HWND dialog, const int* ids, int count);
void RemoveWheelForwarding(HWND dialog, const int* ids, int count);

}  // namespace zel
