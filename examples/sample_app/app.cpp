// The sample product's main program: a small window that says what it is.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ::MessageBoxW(nullptr, L"ゼルビューア 1.2.0 (サンプル)", L"ゼルビューア", MB_OK | MB_ICONINFORMATION);
    return 0;
}
