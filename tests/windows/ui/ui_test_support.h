// Helpers for the dialog tests: dialog libraries, message pumping, recorded
// wizard actions, a modal runner driven from inside the dialog's own loop, and
// screen captures of a dialog's client area.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/scratch_folder.h"
#include "payload/temp_folder.h"
#include "ui/dialog_actions.h"
#include "ui/maintenance_dialog.h"
#include "ui/resource_ids.h"
#include "ui/system_libraries.h"
#include "ui/wizard_dialog.h"
#include "ui/wizard_reporter.h"
#include "ui/wizard_state.h"
#include "util/unique_handle.h"

namespace zel::test {

// The licence control's window class and the progress bar, once for the process.
inline void LoadDialogLibraries() {
    static const bool loaded = [] {
        ::LoadLibraryW(L"Msftedit.dll");
        InitProgressCommonControl();
        return true;
    }();
    (void)loaded;
}

inline void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

inline std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[4096] = {};
    ::GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

inline std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

inline bool ItemVisible(HWND dialog, int id) { return ::IsWindowVisible(::GetDlgItem(dialog, id)) != FALSE; }
inline bool ItemEnabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }

// WM_COMMAND as a button sends it.
inline void Command(HWND dialog, int id) {
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// Replaces the wizard's install run while alive and records the calls and the
// message boxes of a RecordingWizardReporter.
class RecordedActions {
public:
    struct Box {
        std::wstring text;
        std::wstring caption;
        UINT type;
    };

    RecordedActions() : saved_(GetWizardActions()) {
        runs = 0;
        installDirs.clear();
        boxes.clear();
        onRun = nullptr;
        GetWizardActions() = WizardActions{&Run};
    }
    ~RecordedActions() { GetWizardActions() = saved_; }

    static inline int runs = 0;
    static inline std::vector<std::wstring> installDirs;
    static inline std::vector<Box> boxes;
    static inline std::function<void(InstallPlan&, RunReporter&)> onRun;

private:
    static bool Run(InstallPlan& plan, RunReporter& reporter) {
        ++runs;
        installDirs.push_back(plan.installDir);
        if (onRun) onRun(plan, reporter);
        return true;
    }

    WizardActions saved_;
};

// The wizard's own reporter, installed as the context's reporter, with its
// message boxes recorded in RecordedActions::boxes instead of shown.
class RecordingWizardReporter : public WizardReporter {
public:
    explicit RecordingWizardReporter(WizardState& context) : WizardReporter(context) { context.reporter = this; }

protected:
    int ShowBox(HWND, const std::wstring& title, const std::wstring& text, UINT style) override {
        RecordedActions::boxes.push_back(RecordedActions::Box{text, title, style});
        return IDOK;
    }
};

// What the install run reports to the wizard, without installing anything.
inline void FakeRunStart(InstallPlan&, RunReporter& reporter) { reporter.InstallStarted(); }
inline void FakeRunSuccess(InstallPlan&, RunReporter& reporter) {
    reporter.InstallStarted();
    reporter.InstallFinished(true);
}
inline void FakeRunFailure(InstallPlan&, RunReporter& reporter) {
    reporter.InstallStarted();
    reporter.InstallFinished(false);
}

// Opens a dialog with the modal call and calls `drive` from a timer inside the
// dialog's own message loop once the dialog exists. A dialog still open after
// ten seconds is ended with -1.
class ModalRun {
public:
    static INT_PTR Run(int resourceId, DLGPROC proc, LPARAM param, std::function<void(HWND)> drive) {
        drive_ = std::move(drive);
        dialog_ = nullptr;
        UINT_PTR driver = ::SetTimer(nullptr, 0, 50, &OnDriverTimer);
        UINT_PTR watchdog = ::SetTimer(nullptr, 0, 10000, &OnWatchdogTimer);
        driverTimer_ = driver;
        INT_PTR result =
            ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), nullptr, proc, param);
        ::KillTimer(nullptr, driver);
        ::KillTimer(nullptr, watchdog);
        drive_ = nullptr;
        return result;
    }

private:
    static BOOL CALLBACK FindDialog(HWND window, LPARAM) {
        wchar_t className[32] = {};
        ::GetClassNameW(window, className, 32);
        if (std::wstring(className) == L"#32770" && ::IsWindowVisible(window)) {
            dialog_ = window;
            return FALSE;
        }
        return TRUE;
    }
    static void CALLBACK OnDriverTimer(HWND, UINT, UINT_PTR, DWORD) {
        if (dialog_) return;
        ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, 0);
        if (!dialog_) return;
        ::KillTimer(nullptr, driverTimer_);
        if (drive_) drive_(dialog_);
    }
    static void CALLBACK OnWatchdogTimer(HWND, UINT, UINT_PTR, DWORD) {
        if (dialog_) ::EndDialog(dialog_, -1);
    }

    static inline std::function<void(HWND)> drive_;
    static inline HWND dialog_ = nullptr;
    static inline UINT_PTR driverTimer_ = 0;
};

// The client area of a window as 24-bit pixels, top row first.
struct Capture {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> bits;  // B, G, R per pixel

    COLORREF At(int x, int y) const {
        const std::uint8_t* p = &bits[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
        return RGB(p[2], p[1], p[0]);
    }
};

inline Capture CaptureClient(HWND window) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages();
    Capture capture;
    RECT client{};
    ::GetClientRect(window, &client);
    capture.width = client.right;
    capture.height = client.bottom;
    capture.stride = (capture.width * 3 + 3) & ~3;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const WindowDc source(window, DCX_CACHE);
    const MemoryDc memory(source.get());
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory.get(), bitmap);
    ::BitBlt(memory.get(), 0, 0, capture.width, capture.height, source.get(), 0, 0, SRCCOPY);
    ::GdiFlush();
    auto* first = static_cast<std::uint8_t*>(bits);
    capture.bits.assign(first, first + static_cast<size_t>(capture.stride) * capture.height);
    ::SelectObject(memory.get(), previous);
    ::DeleteObject(bitmap);
    return capture;
}

// Writes the capture as a 24-bit BMP into ZEL_ARTIFACTS_DIR (default: the current folder).
inline void SaveCapture(const Capture& capture, const std::wstring& name) {
    std::wstring folder;
    if (const wchar_t* dir = ::_wgetenv(L"ZEL_ARTIFACTS_DIR"); dir && *dir) folder = std::wstring(dir) + L"\\";
    std::ofstream out(std::filesystem::path(folder + name), std::ios::binary);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    DWORD imageSize = static_cast<DWORD>(capture.bits.size());
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + imageSize;
    header.biSize = sizeof(header);
    header.biWidth = capture.width;
    header.biHeight = capture.height;  // bottom-up rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = imageSize;
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    for (int y = capture.height - 1; y >= 0; --y) {
        out.write(reinterpret_cast<const char*>(&capture.bits[static_cast<size_t>(y) * capture.stride]),
                  capture.stride);
    }
}

inline bool Near(COLORREF actual, COLORREF expected, int tolerance) {
    return std::abs(GetRValue(actual) - GetRValue(expected)) <= tolerance &&
           std::abs(GetGValue(actual) - GetGValue(expected)) <= tolerance &&
           std::abs(GetBValue(actual) - GetBValue(expected)) <= tolerance;
}

inline std::string ColorText(COLORREF color) {
    char text[32];
    std::snprintf(text, sizeof(text), "(%d,%d,%d)", GetRValue(color), GetGValue(color), GetBValue(color));
    return text;
}

// A control's rectangle in its dialog's client coordinates.
inline RECT ItemRect(HWND dialog, int id) {
    RECT rect{};
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// When the Windows session ends the process is ended without returning to the
// run driver: the dialog removes the extraction folder itself then, and only then.
inline void ExpectSessionEndRemovesTheExtractionFolder(HWND dialog) {
    const ScratchFolder root(L"session_end");
    PrivateTempFolder folder;
    ASSERT_TRUE(folder.Create(root.path().wstring()));
    const std::wstring path = folder.path();
    ::SendMessageW(dialog, WM_ENDSESSION, FALSE, 0);  // the session goes on
    EXPECT_TRUE(std::filesystem::exists(path));
    ::SendMessageW(dialog, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace zel::test
