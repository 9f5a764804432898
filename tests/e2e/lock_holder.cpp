// Holds a product's lock, as a setup of that product does, so that a test can
// start a second one:
//   e2e_lock_holder.exe <AppName> <ready file>
// Creates the ready file once it owns the lock, then keeps it until it is
// ended (at most two minutes).
#include <windows.h>

#include <shellapi.h>

#include "app/product_lock.h"
#include "app/product_lock_name.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args || count < 3) return 100;
    zel::ProductLock lock;
    if (!lock.TryAcquire(zel::ProductLockName(args[1]))) return 101;
    HANDLE ready = ::CreateFileW(args[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 102;
    ::CloseHandle(ready);
    ::Sleep(120000);
    ::LocalFree(args);
    return 0;
}
