// Shows one message box, for testing the automation library itself:
//   e2e_box_helper.exe <error|warning|information|question|none> <title> <text>
// Exits with the id of the button that closed the box.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args || count < 4) return 100;
    UINT type = MB_OK;
    if (std::wcscmp(args[1], L"error") == 0) type = MB_OK | MB_ICONERROR;
    if (std::wcscmp(args[1], L"warning") == 0) type = MB_OK | MB_ICONWARNING;
    if (std::wcscmp(args[1], L"information") == 0) type = MB_OK | MB_ICONINFORMATION;
    if (std::wcscmp(args[1], L"question") == 0) type = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
    const int result = ::MessageBoxW(nullptr, args[3], args[2], type);
    ::LocalFree(args);
    return result;
}
