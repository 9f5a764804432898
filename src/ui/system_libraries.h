// System libraries that setup.exe does not import statically. A setup program
// usually runs from a downloads folder, where a planted DLL of a common name could
// otherwise be loaded with administrator rights; these are loaded from System32 only.
#pragma once

#include <windows.h>
// commctrl.h needs the types windows.h declares.
#include <commctrl.h>

namespace zel {

// Limits where this process looks for libraries to System32 (SetDefaultDllDirectories,
// resolved at run time); false where the system lacks it, after taking at least
// the current folder out of the search.
bool RestrictDllSearchToSystemFolder();

// LoadLibraryExW restricted to the system folder (by full path where the loader
// lacks the search flags); null on failure. Caller frees.
HMODULE LoadSystemLibrary(const wchar_t* name);

// InitCommonControlsEx with the progress-bar class, from System32's comctl32.
bool InitProgressCommonControl();

// comctl32 window subclassing; false / 0 when the functions are not available.
bool SetControlSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
bool RemoveControlSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);
LRESULT DefaultSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// msimg32 GradientFill.
bool GradientFillRects(HDC dc, TRIVERTEX* vertices, ULONG vertexCount, void* mesh, ULONG meshCount, ULONG mode);

}  // namespace zel
