// Starting the program under test and waiting for it to end.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "util/unique_handle.h"

namespace zel::e2e {

// A started process. A process that is still running when its owner goes away
// is terminated, so that a failing test never leaves a dialog behind.
class Process {
public:
    Process() = default;
    Process(Process&&) noexcept = default;
    Process& operator=(Process&&) noexcept = default;
    ~Process();

    DWORD id() const noexcept { return id_; }
    HANDLE handle() const noexcept { return handle_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(handle_); }

    bool IsRunning() const;
    // The exit code, or nothing when the process is still running after the timeout.
    std::optional<DWORD> Wait(std::chrono::milliseconds timeout) const;
    // Ends a still running process with the given code and waits for it.
    void Terminate(UINT exitCode = 0xDEAD);

private:
    friend Process StartProcessWithCommandLine(const std::filesystem::path&, const std::wstring&, std::wstring*);
    friend Process StartCommandLine(const std::wstring&, std::wstring*);
    UniqueKernelHandle handle_;
    DWORD id_ = 0;
};

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument);

// Starts the program with the given arguments (each quoted as needed).
Process StartProcess(const std::filesystem::path& exe, const std::vector<std::wstring>& arguments,
                     std::wstring* errorText = nullptr);

// Starts the program with the quoted program path, a blank and the given text as
// its command line, for command lines that must be written exactly.
Process StartProcessWithCommandLine(const std::filesystem::path& exe, const std::wstring& argumentText,
                                    std::wstring* errorText = nullptr);

// Starts a whole command line as the system would run it from the registry: no
// application name, the program found from the command line itself.
Process StartCommandLine(const std::wstring& commandLine, std::wstring* errorText = nullptr);

}  // namespace zel::e2e
