#include "ui/progress_meter.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "ui/resource_ids.h"

namespace zel {
namespace {

// Bar positions are ints; a larger count is scaled down onto them.
int PositionFor(std::size_t done, std::size_t total, int range) {
    if (total <= static_cast<std::size_t>(range)) return static_cast<int>(done);
    return static_cast<int>(static_cast<long double>(done) * range / static_cast<long double>(total));
}

}  // namespace

ProgressMeter::ProgressMeter(HWND wizard, std::size_t total)
    : bar_(::GetDlgItem(wizard, IDC_PROGRESS)),
      total_(total),
      range_(static_cast<int>(std::min<std::size_t>(total, INT_MAX))) {
    RECT client{};
    ::GetClientRect(bar_, &client);
    // A bar not laid out yet still gets a few intermediate positions.
    width_ = std::max<long long>(client.right - client.left, 100);
    ::SendMessageW(bar_, PBM_SETRANGE32, 0, range_);
    ::SendMessageW(bar_, PBM_SETPOS, 0, 0);
}

void ProgressMeter::Set(std::size_t done) {
    done = std::min(done, total_);
    const long long filled =
        total_ == 0 ? width_ : static_cast<long long>(static_cast<long double>(done) * width_ / total_);
    if (filled == drawn_ && done != total_) return;
    drawn_ = filled;
    ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(PositionFor(done, total_, range_)), 0);
}

}  // namespace zel
