// Times setup.exe under the platform it runs on, next to plain floors:
//   1. start of setup.exe until its wizard window exists (the payload extraction),
//   2. Install pressed until the progress bar is full (the install run's file copy),
//   3. floor_extract.exe and floor_copy.exe doing the same work the plainest way,
// and reports setup.exe's peak working set. Prints "name seconds" lines.
//   bench_setup.exe <setup.exe> <install-folder> <floor_extract.exe> <floor_copy.exe> <scratch-folder>
#include <windows.h>
// windows.h first: the other two rely on its types.
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

double Now() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

struct FindArgs {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindWizard(HWND window, LPARAM param) {
    auto* args = reinterpret_cast<FindArgs*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == args->pid && ::IsWindowVisible(window) && ::GetDlgItem(window, 1009) && ::GetDlgItem(window, 1006)) {
        args->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWizard(DWORD pid, double timeout) {
    const double end = Now() + timeout;
    while (Now() < end) {
        FindArgs args{pid, nullptr};
        ::EnumWindows(FindWizard, reinterpret_cast<LPARAM>(&args));
        if (args.found) return args.found;
        ::Sleep(2);
    }
    return nullptr;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 600000, &result);
    return static_cast<LRESULT>(result);
}

void Click(HWND dialog, int id) { Send(::GetDlgItem(dialog, id), BM_CLICK); }

double RunAndWait(const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring buffer = commandLine;
    const double start = Now();
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    const double elapsed = Now() - start;
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code == 0 ? elapsed : -1;
}

// Bytes of all files below a folder, leaving out the names the install run adds
// after its copy (Uninstall.exe and the manifests).
unsigned long long TreeBytes(const std::wstring& folder) {
    unsigned long long total = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            total += TreeBytes(folder + L"\\" + name);
        } else if (name != L"Uninstall.exe" && name.find(L"manifest") == std::wstring::npos) {
            total += (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return total;
}

std::wstring NewestSetupTempFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((std::wstring(temp) + L"ZelSetup_*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return {};
    ::FindClose(find);
    return std::wstring(temp) + found.cFileName;
}

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) {
        std::fwprintf(
            stderr,
            L"usage: bench_setup <setup.exe> <install-folder> <floor_extract.exe> <floor_copy.exe> <scratch>\n");
        return 2;
    }
    const std::wstring setup = argv[1], installDir = argv[2], floorExtract = argv[3], floorCopy = argv[4],
                       scratch = argv[5];

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = Quote(setup);
    const double start = Now();
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 1;
    HWND wizard = WaitForWizard(pi.dwProcessId, 600);
    const double extractSeconds = Now() - start;
    if (!wizard) return 1;

    Click(wizard, 1009);  // Welcome -> License
    Click(wizard, 1012);  // accept
    Click(wizard, 1009);  // License -> Destination
    Send(::GetDlgItem(wizard, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(installDir.c_str()));
    HWND progress = ::GetDlgItem(wizard, 1006);
    const double installStart = Now();
    ::PostMessageW(::GetDlgItem(wizard, 1009), BM_CLICK, 0, 0);  // Install: the run starts inside the click
    // The copy is over when the install folder holds as many bytes as the payload's
    // files folder; watched through the file system, so that the measurement does
    // not wait for the wizard's thread.
    const unsigned long long payloadBytes = TreeBytes(NewestSetupTempFolder() + L"\\files");
    double copySeconds = -1;
    while (Now() - installStart < 1200) {
        if (TreeBytes(installDir) >= payloadBytes) {
            copySeconds = Now() - installStart;
            break;
        }
        ::Sleep(1);
    }
    (void)progress;
    // Wait for the Finish page ("終了" on Next), then close the wizard.
    wchar_t caption[64] = {};
    while (Now() - installStart < 1200) {
        ::GetWindowTextW(::GetDlgItem(wizard, 1009), caption, 64);
        if (std::wstring(caption) == L"\u7d42\u4e86") break;
        ::Sleep(20);
    }
    const double runSeconds = Now() - installStart;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(pi.hProcess, &counters, sizeof(counters));
    Click(wizard, 1009);
    ::WaitForSingleObject(pi.hProcess, 60000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);

    const double floorExtractSeconds =
        RunAndWait(Quote(floorExtract) + L" " + Quote(setup) + L" " + Quote(scratch + L"\\extract"));
    const double floorCopySeconds =
        RunAndWait(Quote(floorCopy) + L" " + Quote(scratch + L"\\extract\\files") + L" " + Quote(scratch + L"\\copy"));

    // The same floor copy from the folder setup.exe extracted to, to see whether
    // the sources themselves make a difference.
    double floorCopyFromSetupTempSeconds = -1;
    {
        const std::wstring setupTemp = NewestSetupTempFolder();
        if (!setupTemp.empty()) {
            floorCopyFromSetupTempSeconds = RunAndWait(Quote(floorCopy) + L" " + Quote(setupTemp + L"\\files") + L" " +
                                                       Quote(scratch + L"\\copy2"));
        }
    }
    std::printf("floor_copy_from_setup_temp_seconds %.3f\n", floorCopyFromSetupTempSeconds);
    std::printf("setup_extract_seconds %.3f\n", extractSeconds);
    std::printf("floor_extract_seconds %.3f\n", floorExtractSeconds);
    std::printf("setup_copy_seconds %.3f\n", copySeconds);
    std::printf("floor_copy_seconds %.3f\n", floorCopySeconds);
    std::printf("setup_install_run_seconds %.3f\n", runSeconds);
    std::printf("setup_peak_working_set_bytes %llu\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    return 0;
}
