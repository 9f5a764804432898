// Measures programs under the platform they run on for bench/bench_install.py.
// Every mode prints "name value" lines.
//   bench_setup.exe wizard <setup.exe> <install-folder>
//       starts setup.exe, walks its wizard like a person (Next, accept, Next,
//       folder, Install) and waits for the Finish page: the time until the wizard
//       is visible, until the install folder has install_manifest.txt (the product
//       files, the small steps and the whole Uninstall.exe copy are done), until
//       Finish; peak working set and peak private bytes of setup.exe.
//   bench_setup.exe window <program.exe>
//       the time until a program's first top-level window is visible (the
//       trivial Win32 program's start), then closes it.
//   bench_setup.exe process <program.exe> [args...]
//       the time a program takes from start to exit; fails unless it exits with 0.
//   bench_setup.exe digest <setup.exe>
//       the time to check every block of a setup.exe's payload against its
//       digest the way setup.exe does, from the mapped resource. A payload this
//       helper cannot read block by block (a format newer than the one it was
//       built with) is hashed whole instead: the same work, every stored byte
//       once, reported with "whole_resource 1".
#include <windows.h>
// windows.h first: the others rely on its types.
#include <psapi.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "payload/payload_resource.h"
#include "payload/xxh64.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

struct FindArgs {
    DWORD pid;
    bool wizardOnly;
    HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM param) {
    auto* args = reinterpret_cast<FindArgs*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != args->pid || !::IsWindowVisible(window)) return TRUE;
    // The wizard: its Next button (1009) and progress bar (1006).
    if (args->wizardOnly && !(::GetDlgItem(window, 1009) && ::GetDlgItem(window, 1006))) return TRUE;
    args->found = window;
    return FALSE;
}

HWND WaitForWindow(DWORD pid, bool wizardOnly, double timeout) {
    const double end = Now() + timeout;
    while (Now() < end) {
        FindArgs args{pid, wizardOnly, nullptr};
        ::EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&args));
        if (args.found) return args.found;
        ::Sleep(1);
    }
    return nullptr;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 600000, &result);
    return static_cast<LRESULT>(result);
}

void Click(HWND dialog, int id) { Send(::GetDlgItem(dialog, id), BM_CLICK); }

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

bool Start(const std::wstring& commandLine, PROCESS_INFORMATION& pi) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::wstring buffer = commandLine;
    return ::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
}

void Finish(PROCESS_INFORMATION& pi) {
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int Wizard(const std::wstring& setup, const std::wstring& installDir) {
    PROCESS_INFORMATION pi{};
    const double start = Now();
    if (!Start(Quote(setup), pi)) return 1;
    HWND wizard = WaitForWindow(pi.dwProcessId, true, 900);
    const double visible = Now() - start;
    if (!wizard) return 1;

    Click(wizard, 1009);  // Welcome -> License
    Click(wizard, 1012);  // accept
    Click(wizard, 1009);  // License -> Destination
    Send(::GetDlgItem(wizard, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(installDir.c_str()));
    const double installStart = Now();
    ::PostMessageW(::GetDlgItem(wizard, 1009), BM_CLICK, 0, 0);  // Install: the run starts inside the click
    // Uninstall.exe (a copy of setup.exe, payload included) is copied right after
    // the payload files, the mirror, the system folder and the shortcuts (none of
    // which has work here), and install_manifest.txt is written once that copy is
    // whole: its appearance ends the "install copy", which then holds the same
    // bytes the floor writes. Watched through the file system, which costs the
    // busy wizard nothing.
    const std::wstring manifest = installDir + L"\\install_manifest.txt";
    double copied = -1;
    while (Now() - installStart < 3600) {
        if (FileExists(manifest)) {
            copied = Now() - installStart;
            break;
        }
        // Each look is a request to the Wine server that setup.exe also waits on.
        ::Sleep(5);
    }
    // The Finish page: "終了" on the Next button.
    wchar_t caption[64] = {};
    double installed = -1;
    while (Now() - installStart < 3600) {
        ::GetWindowTextW(::GetDlgItem(wizard, 1009), caption, 64);
        if (std::wstring(caption) == L"\u7d42\u4e86") {
            installed = Now() - installStart;
            break;
        }
        ::Sleep(5);
    }
    const double startToFinish = Now() - start;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(pi.hProcess, &counters, sizeof(counters));
    Click(wizard, 1009);
    ::WaitForSingleObject(pi.hProcess, 60000);
    Finish(pi);
    if (copied < 0 || installed < 0) return 1;
    std::printf("visible_seconds %.4f\n", visible);
    std::printf("copy_seconds %.4f\n", copied);
    std::printf("install_seconds %.4f\n", installed);
    std::printf("start_to_finish_seconds %.4f\n", startToFinish);
    std::printf("peak_working_set_bytes %llu\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    std::printf("peak_private_bytes %llu\n", static_cast<unsigned long long>(counters.PeakPagefileUsage));
    return 0;
}

int Window(const std::wstring& program) {
    PROCESS_INFORMATION pi{};
    const double start = Now();
    if (!Start(Quote(program), pi)) return 1;
    HWND window = WaitForWindow(pi.dwProcessId, false, 120);
    const double visible = Now() - start;
    if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(pi.hProcess, 60000);
    Finish(pi);
    if (!window) return 1;
    std::printf("visible_seconds %.4f\n", visible);
    return 0;
}

int Process(const std::wstring& commandLine) {
    PROCESS_INFORMATION pi{};
    const double start = Now();
    if (!Start(commandLine, pi)) return 1;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    const double elapsed = Now() - start;
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    Finish(pi);
    if (code != 0) {
        std::fprintf(stderr, "exit code %lu\n", static_cast<unsigned long>(code));
        return 1;
    }
    std::printf("seconds %.4f\n", elapsed);
    return 0;
}

std::span<const std::uint8_t> Resource(HMODULE module, WORD id) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    const auto* data = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!data) return {};
    return {data, ::SizeofResource(module, info)};
}

int Digest(const std::wstring& setup) {
    HMODULE module =
        ::LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return 1;
    const std::span<const std::uint8_t> payload = Resource(module, static_cast<WORD>(zel::kPayloadResourceId));
    if (payload.empty()) return 1;
    zel::PayloadArchive archive;
    zel::PayloadDigests digests;
    const bool byBlock =
        zel::ParsePayloadArchive(payload, archive) &&
        zel::ParsePayloadDigests(Resource(module, static_cast<WORD>(zel::kPayloadDigestsResourceId)), archive, digests);
    // The first pass brings the pages in from the file cache, as setup.exe's own
    // check does; the second shows the hashing alone.
    double seconds[2] = {};
    volatile std::uint64_t sink = 0;  // keeps the whole-resource hash from being optimised away
    for (int pass = 0; pass < 2; ++pass) {
        const double start = Now();
        if (byBlock) {
            bool intact = zel::PayloadDirectoryIntact(payload, archive, digests);
            for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
                intact = zel::PayloadBlockIntact(payload, archive, &digests, i) && intact;
            }
            if (!intact) return 1;
        } else {
            sink = sink + zel::Xxh64(payload);
        }
        seconds[pass] = Now() - start;
    }
    std::printf("first_seconds %.4f\n", seconds[0]);
    std::printf("seconds %.4f\n", seconds[1]);
    if (!byBlock) std::printf("whole_resource 1\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"wizard" && argc == 4) return Wizard(argv[2], argv[3]);
    if (mode == L"window" && argc == 3) return Window(argv[2]);
    if (mode == L"digest" && argc == 3) return Digest(argv[2]);
    if (mode == L"process" && argc >= 3) {
        std::wstring commandLine = Quote(argv[2]);
        for (int i = 3; i < argc; ++i) commandLine += L" " + std::wstring(argv[i]);
        return Process(commandLine);
    }
    std::fwprintf(stderr,
                  L"usage: bench_setup wizard <setup.exe> <install-folder> | window <program.exe> |\n"
                  L"       process <program.exe> [args...] | digest <setup.exe>\n");
    return 2;
}
