// The wizard's answer to the install run: the log control, the progress bar, the
// Progress and Finish pages, "再試行" after a failure, and message boxes owned by
// the wizard window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "install/setup_context.h"
#include "ui/message_box_reporter.h"
#include "util/log_file.h"

namespace zel {

class WizardReporter : public MessageBoxReporter {
public:
    // The context and the log file (may be null) must outlive the reporter.
    explicit WizardReporter(SetupContext& context, LogFile* logFile = nullptr)
        : MessageBoxReporter(logFile), context_(context) {}

    void Log(const std::wstring& line) override;
    // Shows the Progress page with an empty log.
    void InstallStarted() override;
    // Success shows the Finish page; a failure enables Next as "再試行", which
    // runs the install again.
    void InstallFinished(bool succeeded) override;
    void SetProgressRange(std::uint32_t total) override;
    // Also lets the wizard repaint and react to its buttons between two files.
    void SetProgressPosition(std::uint32_t position) override;

protected:
    HWND Owner() const override { return context_.hwnd; }

private:
    SetupContext& context_;
};

}  // namespace zel
