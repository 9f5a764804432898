#include "ui/progress_log.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "ui/resource_ids.h"
#include "util/error_text.h"

namespace zel {
namespace {

// A plain top-level window with the log control as child 1007, as the wizard has it.
struct LogWindow {
    LogWindow() {
        parent = ::CreateWindowExW(0, L"STATIC", L"log test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        log = ::CreateWindowExW(0, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
                                380, 260, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOG)),
                                ::GetModuleHandleW(nullptr), nullptr);
    }
    ~LogWindow() {
        if (parent) ::DestroyWindow(parent);
    }
    LogWindow(const LogWindow&) = delete;
    LogWindow& operator=(const LogWindow&) = delete;

    HWND parent = nullptr;
    HWND log = nullptr;
};

class ProgressLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(parent_, nullptr);
        ASSERT_NE(log_, nullptr);
    }

    std::wstring LogText() const {
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(log_)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(log_, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    LogWindow window_;
    HWND parent_ = window_.parent;
    HWND log_ = window_.log;
};

TEST_F(ProgressLogTest, EachAppendAddsTheLineAndCrLf) {
    AppendProgressLog(parent_, L"コピー: setup.ini");
    EXPECT_EQ(LogText(), L"コピー: setup.ini\r\n");
    AppendProgressLog(parent_, L"[警告] 二行目");
    EXPECT_EQ(LogText(), L"コピー: setup.ini\r\n[警告] 二行目\r\n");
    AppendProgressLog(parent_, L"");
    EXPECT_EQ(LogText(), L"コピー: setup.ini\r\n[警告] 二行目\r\n\r\n");
}

TEST_F(ProgressLogTest, LongLogKeepsEveryEarlierLine) {
    std::wstring earlier;
    for (int i = 0; i < 300; ++i) earlier += L"コピー: files\\folder\\file_" + std::to_wstring(i) + L".dat\r\n";
    ASSERT_GT(earlier.size(), 8000u);
    ::SetWindowTextW(log_, earlier.c_str());
    AppendProgressLog(parent_, L"[情報] 最後の行");
    AppendProgressLog(parent_, L"[情報] もう一行");
    EXPECT_EQ(LogText(), earlier + L"[情報] 最後の行\r\n[情報] もう一行\r\n");
}

TEST_F(ProgressLogTest, WindowWithoutLogControlIsLeftAlone) {
    ::DestroyWindow(log_);
    AppendProgressLog(parent_, L"nothing to show it in");
    wchar_t caption[32] = {};
    ::GetWindowTextW(parent_, caption, 32);
    EXPECT_STREQ(caption, L"log test");
}

// What the user can see and do with the log: its text, the caret and the first line shown.
struct LogState {
    std::wstring text;
    DWORD selectionStart = 0;
    DWORD selectionEnd = 0;
    LRESULT firstVisibleLine = 0;
    int scrollPosition = 0;
    bool operator==(const LogState&) const = default;
};

LogState StateOf(HWND log) {
    LogState state;
    state.text.resize(static_cast<std::size_t>(::GetWindowTextLengthW(log)) + 1);
    state.text.resize(
        static_cast<std::size_t>(::GetWindowTextW(log, state.text.data(), static_cast<int>(state.text.size()))));
    ::SendMessageW(log, EM_GETSEL, reinterpret_cast<WPARAM>(&state.selectionStart),
                   reinterpret_cast<LPARAM>(&state.selectionEnd));
    state.firstVisibleLine = ::SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0);
    state.scrollPosition = ::GetScrollPos(log, SB_VERT);
    return state;
}

void PrintTo(const LogState& s, std::ostream* os) {
    *os << "length " << s.text.size() << ", selection " << s.selectionStart << "-" << s.selectionEnd
        << ", first visible line " << s.firstVisibleLine << ", scroll " << s.scrollPosition;
}

// The same lines once through a batch and once the plain way (the whole text
// set for every line), starting from a log the user has scrolled to its end.
TEST_F(ProgressLogTest, BatchedLinesLeaveTheControlAsOneAppendPerLine) {
    const LogWindow plain;
    std::wstring text;
    for (int i = 0; i < 40; ++i) text += L"[情報] 前の行 " + std::to_wstring(i) + L"\r\n";
    for (HWND log : {log_, plain.log}) {
        ::SetWindowTextW(log, text.c_str());
        ::SendMessageW(log, EM_SETSEL, text.size(), text.size());
        ::SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
    }
    ASSERT_GT(::SendMessageW(log_, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    {
        ProgressLogBatch batch(parent_);
        for (int i = 0; i < 600; ++i) {
            const std::wstring line = L"コピー: files\\data\\part" + std::to_wstring(i) + L".dat";
            AppendProgressLog(parent_, line);
            text += line + L"\r\n";
            // Some lines go in on their own after a pause, the rest together.
            if (i == 0 || i == 250) ::Sleep(static_cast<DWORD>(kProgressLogInterval) + 100);
        }
    }
    // Each plain append replaces the whole text, so the last one decides the state.
    ::SetWindowTextW(plain.log, text.c_str());
    const LogState batched = StateOf(log_);
    EXPECT_EQ(batched.text, text);
    EXPECT_EQ(batched, StateOf(plain.log));
}

// Lines for another window bypass the batch; a nested batch keeps the order.
TEST_F(ProgressLogTest, BatchKeepsTheOrderOfLinesAndLeavesOtherWindowsAlone) {
    const LogWindow other;
    {
        ProgressLogBatch outer(parent_);
        AppendProgressLog(parent_, L"1");
        AppendProgressLog(parent_, L"2");
        AppendProgressLog(other.parent, L"elsewhere");
        EXPECT_EQ(StateOf(other.log).text, L"elsewhere\r\n");
        {
            ProgressLogBatch inner(parent_);
            AppendProgressLog(parent_, L"3");
        }
        AppendProgressLog(parent_, L"4");
    }
    EXPECT_EQ(LogText(), L"1\r\n2\r\n3\r\n4\r\n");
}

TEST(Win32ErrorTextTest, CodeZeroIsEmpty) { EXPECT_EQ(Win32ErrorText(0), L""); }

// The system's own text, read directly, with only the trailing CR and LF removed.
TEST(Win32ErrorTextTest, SystemTextWithoutLineEndFollowedByCode) {
    for (const DWORD code : {DWORD{2}, DWORD{5}, DWORD{32}}) {
        SCOPED_TRACE(code);
        wchar_t raw[512] = {};
        const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                              0, raw, 512, nullptr);
        ASSERT_GT(length, 0u);
        std::wstring expected(raw, length);
        while (!expected.empty() && (expected.back() == L'\r' || expected.back() == L'\n')) expected.pop_back();
        ASSERT_FALSE(expected.empty());
        const std::wstring text = Win32ErrorText(code);
        EXPECT_EQ(text, expected + L" (Win32=" + std::to_wstring(code) + L")");
        EXPECT_EQ(text.find_first_of(L"\r\n", expected.size()), std::wstring::npos);
    }
}

TEST(Win32ErrorTextTest, CodeWithoutSystemTextGivesShortForm) {
    EXPECT_EQ(Win32ErrorText(0x20001234), L"(Win32=536875572)");
    EXPECT_EQ(Win32ErrorText(0xFFFFFFFF), L"(Win32=4294967295)");
}

TEST(UnsignedDecimalTest, Digits) {
    const struct {
        std::uint32_t value;
        const wchar_t* digits;
    } cases[] = {
        {0, L"0"}, {7, L"7"}, {10, L"10"}, {1000, L"1000"}, {536875572, L"536875572"}, {4294967295u, L"4294967295"}};
    for (const auto& c : cases) EXPECT_EQ(UnsignedDecimal(c.value), c.digits) << c.value;
}

}  // namespace
}  // namespace zel
