#include "ui/progress_log.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/resource_ids.h"
#include "util/error_text.h"

namespace zel {
namespace {

// A plain top-level window with the log control as child 1007, as the wizard has it.
class ProgressLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = ::CreateWindowExW(0, L"STATIC", L"log test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        log_ = ::CreateWindowExW(0, L"EDIT", L"",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
                                 380, 260, parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOG)),
                                 ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(log_, nullptr);
    }
    void TearDown() override {
        if (parent_) ::DestroyWindow(parent_);
    }

    std::wstring LogText() const {
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(log_)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(log_, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    HWND parent_ = nullptr;
    HWND log_ = nullptr;
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
