// Where the install and uninstall runs report to: their log lines, the progress
// of the file copy, the outcome of an install run, and the messages and questions
// a person would see. The wizard and the uninstall's message boxes answer it on
// the interactive road; a quiet run answers it with a log file and no window.
#pragma once

#include <cstdint>
#include <string>

namespace zel {

enum class NoticeKind { Information, Warning, Error };

class RunReporter {
public:
    virtual ~RunReporter() = default;

    // One line of the run's log, without a line end.
    virtual void Log(const std::wstring& line) = 0;

    // An install run starts: its log begins empty.
    virtual void InstallStarted() = 0;
    // An install run has ended; a failed one can be run again.
    virtual void InstallFinished(bool succeeded) = 0;

    // The file copy: the total number of files (the position starts at 0), then
    // the number copied so far after each file. Each new position is also the
    // moment for a window to take its pending messages.
    virtual void SetProgressRange(std::uint32_t total) = 0;
    virtual void SetProgressPosition(std::uint32_t position) = 0;

    // A message with one OK button.
    virtual void Notify(NoticeKind kind, const std::wstring& title, const std::wstring& text) = 0;
    // A yes/no question whose default button is No; true for yes. A run that
    // shows no window takes quietAnswer.
    virtual bool Ask(const std::wstring& title, const std::wstring& text, bool quietAnswer) = 0;
};

// One log line for steps that also run without a log (a null reporter).
inline void Log(RunReporter* reporter, const std::wstring& line) {
    if (reporter) reporter->Log(line);
}

}  // namespace zel
