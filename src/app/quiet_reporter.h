// The answer to a run's messages when no window may appear: every log line and
// every message that would have been shown goes to the log file (when one was
// asked for), and each question takes its quiet answer.
#pragma once

#include <cstdint>
#include <string>

#include "run/run_reporter.h"
#include "util/log_file.h"

namespace zel {

class QuietReporter : public RunReporter {
public:
    // The log file may be closed (no /log); it must outlive the reporter.
    explicit QuietReporter(LogFile& logFile) : logFile_(logFile) {}

    void Log(const std::wstring& line) override { logFile_.Write(line); }
    void InstallStarted() override {}
    void InstallFinished(bool) override {}
    void SetProgressRange(std::uint32_t) override {}
    void SetProgressPosition(std::uint32_t) override {}
    void Notify(NoticeKind, const std::wstring& title, const std::wstring& text) override {
        logFile_.WriteMessage(title, text);
    }
    bool Ask(const std::wstring& title, const std::wstring& text, bool quietAnswer) override {
        logFile_.WriteMessage(title, text);
        return quietAnswer;
    }

private:
    LogFile& logFile_;
};

}  // namespace zel
