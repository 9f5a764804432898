#include "util/log_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "common/scratch_folder.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class LogFileTest : public ::testing::Test {
protected:
    test::ScratchFolder scratch_{L"log_file"};
    const fs::path folder_ = scratch_.path();
};

TEST(LogEntry, StampsEveryLineAndEndsItWithCrLf) {
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 1;
    time.wHour = 4;
    time.wMinute = 3;
    time.wSecond = 7;
    const struct {
        const wchar_t* text;
        std::string entry;
    } cases[] = {
        {L"コピー: App.exe", "2026-12-01 04:03:07 \xE3\x82\xB3\xE3\x83\x94\xE3\x83\xBC: App.exe\r\n"},
        {L"", "2026-12-01 04:03:07 \r\n"},
        {L"a\nb", "2026-12-01 04:03:07 a\r\n2026-12-01 04:03:07 b\r\n"},
        {L"a\r\nb\n", "2026-12-01 04:03:07 a\r\n2026-12-01 04:03:07 b\r\n"},
        {L"a\n\nb", "2026-12-01 04:03:07 a\r\n2026-12-01 04:03:07 \r\n2026-12-01 04:03:07 b\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatLogEntry(time, c.text), c.entry);
}

TEST_F(LogFileTest, NewFileStartsWithTheMarkAndLaterRunsAppend) {
    const fs::path path = folder_ / L"setup.log";
    std::wstring error;
    {
        LogFile log;
        ASSERT_TRUE(log.Open(path.wstring(), error)) << fs::path(error).string();
        log.Write(L"first");
        log.WriteMessage(L"エラー", L"失敗しました。\n詳細");
    }
    {
        LogFile log;
        ASSERT_TRUE(log.Open(path.wstring(), error));
        log.Write(L"second run");
    }
    const std::string text = test::ReadFile(path);
    static const std::regex expected(
        "\xEF\xBB\xBF"
        "(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) first\r\n"
        "\\1 \\[\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC\\] \xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97"
        "\xE3\x81\x9F\xE3\x80\x82\r\n"
        "\\1 \xE8\xA9\xB3\xE7\xB4\xB0\r\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d second run\r\n");
    // The first three lines are written within one second only when the clock
    // does not turn over between them; the test tolerates that once.
    if (!std::regex_match(text, expected)) {
        EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF")) << text;
        EXPECT_EQ(text.find("\xEF\xBB\xBF", 3), std::string::npos) << "one mark only";
        EXPECT_NE(text.find(" first\r\n"), std::string::npos) << text;
        EXPECT_NE(text.find(" second run\r\n"), std::string::npos) << text;
    }
}

TEST_F(LogFileTest, EmptyExistingFileGetsTheMark) {
    const fs::path path = folder_ / L"empty.log";
    std::ofstream(path).close();
    LogFile log;
    std::wstring error;
    ASSERT_TRUE(log.Open(path.wstring(), error));
    log.Write(L"x");
    EXPECT_TRUE(test::ReadFile(path).starts_with("\xEF\xBB\xBF"));
}

TEST_F(LogFileTest, OthersMayReadAndAppendWhileItIsOpen) {
    const fs::path path = folder_ / L"shared.log";
    LogFile first;
    LogFile second;
    std::wstring error;
    ASSERT_TRUE(first.Open(path.wstring(), error));
    ASSERT_TRUE(second.Open(path.wstring(), error));
    first.Write(L"one");
    second.Write(L"two");
    first.Write(L"three");
    const std::string text = test::ReadFile(path);
    EXPECT_LT(text.find(" one\r\n"), text.find(" two\r\n"));
    EXPECT_LT(text.find(" two\r\n"), text.find(" three\r\n"));
}

void WriteBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A file another tool started keeps one encoding: lines go in as UTF-16LE after
// its mark, as UTF-8 into UTF-8 text, and a file in another encoding is left
// alone with the reason.
TEST_F(LogFileTest, ExistingFileGetsLinesInItsOwnEncodingOrIsRefused) {
    const std::string utf16Before(
        "\xFF\xFE"
        "d\0e\0p\0\r\0\n\0",
        12);
    const fs::path utf16 = folder_ / L"utf16.log";
    WriteBytes(utf16, utf16Before);
    const fs::path utf8 = folder_ / L"utf8.log";
    WriteBytes(utf8, "\xE9\x96\x8B\xE5\xA7\x8B\r\n");     // UTF-8 without its mark
    const std::string shiftJis = "\x8A\x4A\x8E\x6E\r\n";  // the same text in Shift_JIS
    const fs::path sjis = folder_ / L"sjis.log";
    WriteBytes(sjis, shiftJis);

    std::wstring error;
    for (const fs::path& path : {utf16, utf8}) {
        LogFile log;
        ASSERT_TRUE(log.Open(path.wstring(), error)) << path.string();
        log.Write(L"コピー: App.exe");
    }
    const std::string utf16After = test::ReadFile(utf16);
    ASSERT_TRUE(utf16After.starts_with(utf16Before));
    const std::string added = utf16After.substr(utf16Before.size());
    ASSERT_EQ(added.size() % 2, 0u);
    const std::wstring addedText(reinterpret_cast<const wchar_t*>(added.data()), added.size() / 2);
    EXPECT_TRUE(std::regex_match(addedText, std::wregex(LR"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d コピー: App\.exe\r\n)")))
        << "UTF-16LE units after the old text";
    const std::string utf8After = test::ReadFile(utf8);
    EXPECT_TRUE(utf8After.starts_with("\xE9\x96\x8B\xE5\xA7\x8B\r\n2")) << "no mark in the middle";
    EXPECT_TRUE(utf8After.ends_with(" \xE3\x82\xB3\xE3\x83\x94\xE3\x83\xBC: App.exe\r\n"));

    LogFile refused;
    error.clear();
    EXPECT_FALSE(refused.Open(sjis.wstring(), error));
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_NE(error.find(L"UTF-16LE"), std::wstring::npos);
    refused.Write(L"ignored");
    EXPECT_EQ(test::ReadFile(sjis), shiftJis) << "left as it was";
}

TEST_F(LogFileTest, MissingFolderIsNotCreatedAndNothingIsWritten) {
    const fs::path path = folder_ / L"missing" / L"setup.log";
    LogFile log;
    std::wstring error;
    EXPECT_FALSE(log.Open(path.wstring(), error));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_NE(error.find(L"(Win32=3)"), std::wstring::npos) << fs::path(error).string();
    log.Write(L"ignored");
    EXPECT_FALSE(fs::exists(folder_ / L"missing"));
}

}  // namespace
}  // namespace zel
