#include "ui/system_libraries.h"

#include <string>

namespace zel {
namespace {

// Loaded once and kept for the life of the process.
HMODULE Comctl32() {
    static HMODULE module = LoadSystemLibrary(L"comctl32.dll");
    return module;
}

HMODULE Msimg32() {
    static HMODULE module = LoadSystemLibrary(L"msimg32.dll");
    return module;
}

// comctl32 before version 6 exports the subclass functions by ordinal only.
template <typename Fn>
Fn Comctl32Function(const char* name, WORD ordinal) {
    HMODULE module = Comctl32();
    if (!module) return nullptr;
    FARPROC proc = ::GetProcAddress(module, name);
    if (!proc) proc = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace

bool RestrictDllSearchToSystemFolder() {
    // Looked up at run time: Windows 7 has the function only with its loader
    // update (KB2533623), and a static import would keep setup.exe from starting
    // at all without it.
    using Fn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    // At least the current folder leaves the search; our own libraries are
    // loaded by their full System32 path below.
    ::SetDllDirectoryW(L"");
    return false;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A loader without the search flags (Windows 7 without its update): the full
    // path in the system folder, whose own dependencies are then searched there.
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool InitProgressCommonControl() {
    using Fn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static Fn init = Comctl32Function<Fn>("InitCommonControlsEx", 0);
    if (!init) return false;
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_PROGRESS_CLASS;
    return init(&icc) != FALSE;
}

bool SetControlSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    using Fn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);
    static Fn fn = Comctl32Function<Fn>("SetWindowSubclass", 410);
    return fn && fn(window, proc, id, data);
}

bool RemoveControlSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id) {
    using Fn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR);
    static Fn fn = Comctl32Function<Fn>("RemoveWindowSubclass", 412);
    return fn && fn(window, proc, id);
}

LRESULT DefaultSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    using Fn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
    static Fn fn = Comctl32Function<Fn>("DefSubclassProc", 413);
    return fn ? fn(window, message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

bool GradientFillRects(HDC dc, TRIVERTEX* vertices, ULONG vertexCount, void* mesh, ULONG meshCount, ULONG mode) {
    using Fn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);
    static Fn fn = [] {
        HMODULE module = Msimg32();
        return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, "GradientFill")))
                      : nullptr;
    }();
    return fn && fn(dc, vertices, vertexCount, mesh, meshCount, mode);
}

}  // namespace zel
