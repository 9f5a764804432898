// The trivial Win32 program whose start the wizard's appearance is measured
// against: it registers a class, shows one empty window and runs a message loop
// until the window is closed.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"ZelTrivialWindow";
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, L"ZelTrivialWindow", L"trivial", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                    CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ::ShowWindow(window, SW_SHOW);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
