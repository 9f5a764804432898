#include "automation/process.h"

namespace zel::e2e {

Process::~Process() { Terminate(); }

bool Process::IsRunning() const { return handle_ && ::WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Process::Wait(std::chrono::milliseconds timeout) const {
    if (!handle_) return std::nullopt;
    if (::WaitForSingleObject(handle_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(handle_.get(), &code)) return std::nullopt;
    return code;
}

void Process::Terminate(UINT exitCode) {
    if (!IsRunning()) return;
    ::TerminateProcess(handle_.get(), exitCode);
    ::WaitForSingleObject(handle_.get(), 5000);
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double only in front of a quote.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');  // they stand before the closing quote
    quoted.push_back(L'"');
    return quoted;
}

Process StartProcess(const std::filesystem::path& exe, const std::vector<std::wstring>& arguments,
                     std::wstring* errorText) {
    std::wstring text;
    for (const std::wstring& argument : arguments) {
        if (!text.empty()) text.push_back(L' ');
        text += QuoteArgument(argument);
    }
    return StartProcessWithCommandLine(exe, text, errorText);
}

namespace {

// Starts the command line; the application name may be null.
bool Launch(const wchar_t* applicationName, std::wstring commandLine, UniqueKernelHandle& handle, DWORD& id,
            std::wstring* errorText) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    UniqueProcessInformation info;
    if (!::CreateProcessW(applicationName, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          info.put())) {
        if (errorText)
            *errorText = L"CreateProcessW failed for " + commandLine + L": " + std::to_wstring(::GetLastError());
        return false;
    }
    // Keep the process handle; the thread handle is closed with the information record.
    HANDLE duplicate = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), info.process(), ::GetCurrentProcess(), &duplicate, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    handle.reset(duplicate);
    id = info.get().dwProcessId;
    return true;
}

}  // namespace

Process StartProcessWithCommandLine(const std::filesystem::path& exe, const std::wstring& argumentText,
                                    std::wstring* errorText) {
    std::wstring commandLine = QuoteArgument(exe.wstring());
    if (!argumentText.empty()) commandLine += L" " + argumentText;
    Process process;
    Launch(exe.c_str(), commandLine, process.handle_, process.id_, errorText);
    return process;
}

Process StartCommandLine(const std::wstring& commandLine, std::wstring* errorText) {
    Process process;
    Launch(nullptr, commandLine, process.handle_, process.id_, errorText);
    return process;
}

}  // namespace zel::e2e
