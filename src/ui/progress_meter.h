// The wizard's progress bar (control 1006) driven through a number of steps.
#pragma once

#include <windows.h>

#include <cstddef>

namespace zel {

// Sets the bar's range to `total` steps and its position to 0. The range is
// 32-bit, so that 65,536 files and more show true progress. Set() sends a
// position only when the bar as drawn changes (a new filled pixel, or the
// end): the control repaints on every position it is sent, which costs about as
// much as copying a small file.
class ProgressMeter {
public:
    ProgressMeter(HWND wizard, std::size_t total);
    void Set(std::size_t done);

private:
    HWND bar_;
    std::size_t total_;
    int range_;
    long long width_;
    long long drawn_ = 0;  // filled pixels last sent
};

}  // namespace zel
