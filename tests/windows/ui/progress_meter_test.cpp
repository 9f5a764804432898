#include "ui/progress_meter.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "ui/resource_ids.h"
#include "ui/system_libraries.h"

namespace zel {
namespace {

// A window with the real progress bar as child 1006, 300 pixels wide; the bar's
// window procedure is wrapped to record every position it is sent.
class ProgressMeterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InitProgressCommonControl());
        parent_ = ::CreateWindowExW(0, L"STATIC", L"meter test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        bar_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 20, parent_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS)),
                                 ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(bar_, nullptr);
        original_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressMeterTest::Record)));
    }
    void TearDown() override {
        if (parent_) ::DestroyWindow(parent_);
        sent_.clear();
    }

    static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == PBM_SETPOS) sent_.push_back(static_cast<int>(wParam));
        return ::CallWindowProcW(original_, window, message, wParam, lParam);
    }

    int Position() const { return static_cast<int>(::SendMessageW(bar_, PBM_GETPOS, 0, 0)); }
    int Maximum() const { return static_cast<int>(::SendMessageW(bar_, PBM_GETRANGE, FALSE, 0)); }

    HWND parent_ = nullptr;
    HWND bar_ = nullptr;
    static inline WNDPROC original_ = nullptr;
    static inline std::vector<int> sent_;
};

// More steps than a 16-bit range holds: the bar shows true progress on the way
// and ends full, and it is sent a position only when its drawing changes.
TEST_F(ProgressMeterTest, SeventyThousandStepsEndFullWithFewRepaints) {
    ProgressMeter meter(parent_, 70000);
    EXPECT_EQ(Maximum(), 70000);
    EXPECT_EQ(Position(), 0);
    for (std::uint32_t done = 1; done <= 35000; ++done) meter.Set(done);
    EXPECT_GE(Position(), 34700);  // within one pixel's worth of steps
    EXPECT_LE(Position(), 35000);
    for (std::uint32_t done = 35001; done <= 70000; ++done) meter.Set(done);
    EXPECT_EQ(Position(), 70000);
    EXPECT_LE(sent_.size(), 302u) << "one position per pixel of the bar, plus the start and the end";
    EXPECT_GE(sent_.size(), 100u) << "the bar still moves along the way";
}

// Fewer steps than pixels: every step is drawn.
TEST_F(ProgressMeterTest, FewStepsAreEachShown) {
    ProgressMeter meter(parent_, 3);
    for (std::uint32_t done = 1; done <= 3; ++done) {
        meter.Set(done);
        EXPECT_EQ(Position(), static_cast<int>(done));
    }
}

}  // namespace
}  // namespace zel
