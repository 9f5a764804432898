// A small COM-style library for the installer's tests. DllRegisterServer writes
// HKLM\Software\ZelSetupTest\<own file name> = "registered" and
// DllUnregisterServer removes it again and appends "<own file name>;" to the
// value "UnregisterOrder"; both record the current folder they were called in
// as "RegisterFolder" and "UnregisterFolder". All is written in the 64-bit registry view so that the 32-bit
// and the 64-bit builds leave their marks in the same place.
// Built with ZEL_FAIL_REGISTRATION, DllRegisterServer fails instead; built with
// ZEL_HANG_REGISTRATION, it never returns; built with
// ZEL_NO_REGISTRATION, the library exports neither function.
#include <windows.h>

namespace {

HMODULE g_module = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

#if defined(ZEL_NO_REGISTRATION)

extern "C" __declspec(dllexport) DWORD WINAPI ZelTestVersion() { return 1; }

#else

namespace {

constexpr wchar_t kKey[] = L"Software\\ZelSetupTest";

// The library's file name without its folder.
const wchar_t* OwnFileName(wchar_t (&buffer)[MAX_PATH]) {
    const DWORD length = GetModuleFileNameW(g_module, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"unknown";
    const wchar_t* name = buffer;
    for (const wchar_t* p = buffer; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

// Records the process's current folder as the value name.
void RecordCurrentFolder(HKEY key, const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), (length + 1) * sizeof(wchar_t));
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
#if defined(ZEL_FAIL_REGISTRATION)
    return E_FAIL;
#elif defined(ZEL_HANG_REGISTRATION)
    for (;;) Sleep(INFINITE);
#else
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    wchar_t buffer[MAX_PATH];
    static const wchar_t kValue[] = L"registered";
    const LONG rc =
        RegSetValueExW(key, OwnFileName(buffer), 0, REG_SZ, reinterpret_cast<const BYTE*>(kValue), sizeof(kValue));
    RecordCurrentFolder(key, L"RegisterFolder");
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? S_OK : E_FAIL;
#endif
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return S_OK;
    }
    wchar_t buffer[MAX_PATH];
    const wchar_t* name = OwnFileName(buffer);
    RegDeleteValueW(key, name);
    RecordCurrentFolder(key, L"UnregisterFolder");
    // "UnregisterOrder" collects "<name>;" per call, so tests can see the order.
    wchar_t order[2048] = L"";
    DWORD size = sizeof(order) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, L"UnregisterOrder", nullptr, &type, reinterpret_cast<BYTE*>(order), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        order[0] = L'\0';
    }
    order[sizeof(order) / sizeof(order[0]) - 1] = L'\0';
    if (lstrlenW(order) + lstrlenW(name) + 2 < static_cast<int>(sizeof(order) / sizeof(order[0]))) {
        lstrcatW(order, name);
        lstrcatW(order, L";");
        RegSetValueExW(key, L"UnregisterOrder", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                       static_cast<DWORD>((lstrlenW(order) + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    return S_OK;
}

#endif
