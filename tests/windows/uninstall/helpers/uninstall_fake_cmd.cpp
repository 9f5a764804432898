// Stands in for a command interpreter (or ping) planted in a writable folder:
// when started, it leaves "<own name>.ran" beside itself and does nothing else.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    const std::wstring marker = std::wstring(buffer, length) + L".ran";
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 0;
}
