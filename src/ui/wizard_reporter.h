// The wizard's answer to the install run: the log control, the progress bar, the
// Progress and Finish pages, "再試行" after a failure, and message boxes owned by
// the wizard window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "ui/message_box_reporter.h"
#include "ui/progress_log.h"
#include "ui/progress_meter.h"
#include "ui/wizard_state.h"
#include "util/log_file.h"

namespace zel {

class WizardReporter : public MessageBoxReporter {
public:
    // The state and the log file (may be null) must outlive the reporter.
    explicit WizardReporter(WizardState& state, LogFile* logFile = nullptr)
        : MessageBoxReporter(logFile), state_(state) {}

    void Log(const std::wstring& line) override;
    // Shows the Progress page with an empty log.
    void InstallStarted() override;
    // Success shows the Finish page; a failure enables Next as "再試行", which
    // runs the install again.
    void InstallFinished(bool succeeded) override;
    void SetProgressRange(std::uint32_t total) override;
    // Also lets the wizard repaint and react to its buttons between two files.
    void SetProgressPosition(std::uint32_t position) override;
    // Both put every line logged so far into the log before the box appears.
    void Notify(NoticeKind kind, const std::wstring& title, const std::wstring& text) override;
    bool Ask(const std::wstring& title, const std::wstring& text, bool quietAnswer) override;

protected:
    HWND Owner() const override { return state_.hwnd; }

private:
    WizardState& state_;
    // Between InstallStarted and InstallFinished the log is updated in batches.
    std::optional<ProgressLogBatch> logBatch_;
    std::optional<ProgressMeter> meter_;
    std::uint32_t progressTotal_ = 0;
    ULONGLONG lastPump_ = 0;
};

}  // namespace zel
