// Whether 32-bit programs run on this machine. Wine on a host whose kernel cannot
// execute i386 binaries runs 64-bit programs only; tests that need a 32-bit
// process (the SysWOW64 regsvr32 registering a 32-bit library) skip there.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/unique_handle.h"

namespace zel::test {

// Starts SysWOW64\cmd.exe with "exit 7": 32-bit programs run when it starts and
// ends with that code. Asked once per test program.
inline bool Can32BitProgramsRun() {
    static const bool canRun = [] {
        wchar_t folder[MAX_PATH];
        const UINT length = ::GetSystemWow64DirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return false;
        std::wstring command = L"\"" + std::wstring(folder, length) + L"\\cmd.exe\" /c exit 7";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &info)) {
            return false;
        }
        const UniqueKernelHandle process(info.hProcess);
        const UniqueKernelHandle thread(info.hThread);
        DWORD code = 0;
        return ::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0 &&
               ::GetExitCodeProcess(process.get(), &code) && code == 7;
    }();
    return canRun;
}

// The test scripts set ZEL_WINE_32BIT=1 when the host runs Wine's 32-bit loader:
// there a 32-bit program that does not start is a fault, not a missing feature.
inline bool Host32BitExpected() {
    const char* value = std::getenv("ZEL_WINE_32BIT");
    return value && std::strcmp(value, "1") == 0;
}

}  // namespace zel::test

// Ends the calling test as skipped when 32-bit programs cannot run here, or as
// failed when the host should run them.
#define ZEL_SKIP_UNLESS_32BIT_PROGRAMS_RUN()                                                                \
    do {                                                                                                    \
        if (!::zel::test::Can32BitProgramsRun()) {                                                          \
            if (::zel::test::Host32BitExpected())                                                           \
                FAIL() << "SysWOW64\\cmd.exe did not run, yet the host runs 32-bit Wine";                   \
            GTEST_SKIP() << "32-bit programs cannot run on this machine (SysWOW64\\cmd.exe did not start)"; \
        }                                                                                                   \
    } while (false)
