#include "ui/dialog_thunk.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "windows/ui/ui_test_support.h"

namespace zel {
namespace {

constexpr UINT kProbeMessage = WM_APP + 7;

// A dialog record that counts what reaches the dialog's own functions.
struct Probe {
    bool admit = true;
    bool throwOnMessage = false;
    int inits = 0;
    int probes = 0;
};

bool AdmitProbe(HWND, Probe& probe) { return probe.admit; }
BOOL InitProbe(HWND, Probe& probe) {
    ++probe.inits;
    return TRUE;
}
INT_PTR HandleProbe(HWND, Probe& probe, UINT message, WPARAM, LPARAM) {
    if (message != kProbeMessage) return FALSE;
    ++probe.probes;
    if (probe.throwOnMessage) throw std::runtime_error("probe");
    return TRUE;
}

HWND CreateProbe(Probe* probe) {
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAINTENANCE), nullptr,
                                DialogProcOf<Probe, &InitProbe, &HandleProbe, &AdmitProbe>,
                                reinterpret_cast<LPARAM>(probe));
}

TEST(DialogThunkTest, RecordReachesTheDialogOnlyWhenAdmitted) {
    struct Case {
        bool admit, throwOnMessage;
        int inits, probes;  // after two probe messages
    };
    const Case cases[] = {
        {true, false, 1, 2},
        {true, true, 1, 2},  // a throw stays inside the procedure and the dialog keeps working
        {false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "admit " << c.admit << " throw " << c.throwOnMessage);
        Probe probe;
        probe.admit = c.admit;
        probe.throwOnMessage = c.throwOnMessage;
        HWND dialog = CreateProbe(&probe);
        ASSERT_NE(dialog, nullptr);
        ::SendMessageW(dialog, kProbeMessage, 0, 0);
        ::SendMessageW(dialog, kProbeMessage, 0, 0);
        ::SendMessageW(dialog, WM_ENDSESSION, FALSE, 0);  // answered by the procedure itself
        EXPECT_EQ(probe.inits, c.inits);
        EXPECT_EQ(probe.probes, c.probes);
        EXPECT_EQ(::GetWindowLongPtrW(dialog, DWLP_USER), c.admit ? reinterpret_cast<LONG_PTR>(&probe) : 0);
        ::DestroyWindow(dialog);
    }
}

TEST(DialogThunkTest, NullRecordLeavesEveryMessageUnhandled) {
    HWND dialog = CreateProbe(nullptr);
    ASSERT_NE(dialog, nullptr);
    ::SendMessageW(dialog, kProbeMessage, 0, 0);
    EXPECT_EQ(::GetWindowLongPtrW(dialog, DWLP_USER), 0);
    ::DestroyWindow(dialog);
}

}  // namespace
}  // namespace zel
