// Runs one command line for the end-to-end tests and records its exit code:
//   e2e_nodisplay_runner.exe <request file>
// The request file holds the command line as UTF-16LE; the exit code is written
// as decimal digits to the file of the same name with the extension ".exit".
// scripts/run-e2e.sh starts it with DISPLAY unset, so that the program it runs
// has no display at all. A program still running after five minutes is ended
// and recorded as "timeout".
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

bool ReadRequest(const wchar_t* path, std::wstring& commandLine) {
    HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    wchar_t buffer[4096] = {};
    DWORD read = 0;
    const BOOL ok = ::ReadFile(file, buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr);
    ::CloseHandle(file);
    commandLine.assign(buffer, read / sizeof(wchar_t));
    return ok && !commandLine.empty();
}

void WriteResult(std::wstring path, const std::string& text) {
    const std::size_t dot = path.rfind(L'.');
    if (dot != std::wstring::npos) path.resize(dot);
    const std::wstring temporary = path + L".part";
    HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    ::MoveFileExW(temporary.c_str(), (path + L".exit").c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args || count < 2) return 100;
    const std::wstring request = args[1];
    ::LocalFree(args);
    std::wstring commandLine;
    if (!ReadRequest(request.c_str(), commandLine)) {
        WriteResult(request, "unreadable request");
        return 101;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        WriteResult(request, "not started: " + std::to_string(::GetLastError()));
        return 102;
    }
    ::CloseHandle(process.hThread);
    std::string result;
    if (::WaitForSingleObject(process.hProcess, 300000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 0xDEAD);
        result = "timeout";
    } else {
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        result = std::to_string(code);
    }
    ::CloseHandle(process.hProcess);
    WriteResult(request, result);
    return 0;
}
