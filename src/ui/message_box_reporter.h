// The interactive answer to a run's messages: message boxes, each also written
// to the log file when one was asked for. The uninstall run reports to it; the
// wizard's reporter builds on it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "run/run_reporter.h"
#include "util/log_file.h"

namespace zel {

class MessageBoxReporter : public RunReporter {
public:
    // logFile may be null; it must outlive the reporter.
    explicit MessageBoxReporter(LogFile* logFile = nullptr) : logFile_(logFile) {}

    // Without a window of its own a log line goes to the log file only.
    void Log(const std::wstring& line) override;
    void InstallStarted() override {}
    void InstallFinished(bool) override {}
    void SetProgressRange(std::uint32_t) override {}
    void SetProgressPosition(std::uint32_t) override {}

    // Error, warning or information icon, OK only.
    void Notify(NoticeKind kind, const std::wstring& title, const std::wstring& text) override;
    // Question icon, Yes and No, No the default button.
    bool Ask(const std::wstring& title, const std::wstring& text, bool quietAnswer) override;

    // The box of Notify; false when it could not be shown at all (no display).
    bool ShowNotice(NoticeKind kind, const std::wstring& title, const std::wstring& text);
    // Warning icon, Retry and Cancel, Retry the default button; true for Retry.
    // A box that cannot be shown counts as Cancel.
    bool AskRetry(const std::wstring& title, const std::wstring& text);

protected:
    // The window that owns the boxes; none by default.
    virtual HWND Owner() const { return nullptr; }
    // Shows one box and returns the button pressed (MessageBoxW).
    virtual int ShowBox(HWND owner, const std::wstring& title, const std::wstring& text, UINT style);

    LogFile* logFile() const noexcept { return logFile_; }

private:
    LogFile* logFile_;
};

}  // namespace zel
