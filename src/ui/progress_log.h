// The wizard's progress log (control 1007).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zel {

// Appends one line plus CR LF to the log control of the wizard dialog.
void AppendProgressLog(HWND wizard, const std::wstring& line);

inline constexpr ULONGLONG kProgressLogInterval = 100;  // milliseconds

// While a batch exists for a wizard, the lines appended to its log are collected
// and put into the control together: at once when the previous update is at
// least kProgressLogInterval old (longer once updating a long log costs more),
// else with a later line, and at the latest when the batch ends. The control then holds the same text, caret and scroll
// position as after one append per line, but a run of thousands of files does
// not pay the edit control's layout and repaint for every line. Nothing is
// shown on screen between two pumps of the message queue anyway. One batch at a
// time, on the GUI thread; a nested one takes over until it ends.
class ProgressLogBatch {
public:
    explicit ProgressLogBatch(HWND wizard);
    ~ProgressLogBatch();
    ProgressLogBatch(const ProgressLogBatch&) = delete;
    ProgressLogBatch& operator=(const ProgressLogBatch&) = delete;

    // Puts the collected lines into the control now.
    void Flush() noexcept;

private:
    friend void AppendProgressLog(HWND wizard, const std::wstring& line);

    HWND wizard_;
    std::wstring pending_;
    ULONGLONG lastUpdate_ = 0;
    ULONGLONG interval_ = kProgressLogInterval;
    ProgressLogBatch* outer_;
};

}  // namespace zel
