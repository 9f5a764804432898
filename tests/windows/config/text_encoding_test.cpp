#include "config/text_encoding.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/scratch_folder.h"
#include "util/unicode.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

// Shift_JIS and UTF-8 bytes of the same Japanese text.
constexpr char kShiftJisText[] = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x89\x83\x43\x83\x5a\x83\x93\x83\x58 ABC";
constexpr wchar_t kJapaneseText[] = L"日本語のライセンス ABC";

class TextFileTest : public ::testing::Test {
protected:
    test::ScratchFolder scratch_{L"text_encoding"};
    const fs::path dir_ = scratch_.path();

    fs::path Write(const std::string& bytes, const std::wstring& name = L"file.txt") {
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

struct MarkedCase {
    const char* label;
    std::string bytes;
    std::wstring expected;
};

// Both loaders decode files with a mark, and empty files, the same way.
TEST_F(TextFileTest, BothLoadersDecodeMarkedAndEmptyFiles) {
    const MarkedCase cases[] = {
        {"empty file", "", L""},
        {"only the UTF-16 mark", std::string("\xFF\xFE", 2), L""},
        {"UTF-16 of odd length",
         std::string("\xFF\xFE"
                     "A\0B\0C",
                     7),
         L""},
        {"UTF-16 text",
         std::string("\xFF\xFE\xE5\x65\x2C\x67"
                     "A\0",
                     8),
         L"日本A"},
        {"UTF-16 trailing U+0000 removed",
         std::string("\xFF\xFE"
                     "A\0\0\0\0\0",
                     8),
         L"A"},
        {"UTF-16 inner U+0000 kept",
         std::string("\xFF\xFE"
                     "A\0\0\0B\0",
                     8),
         std::wstring(L"A\0B", 3)},
        {"UTF-16 of only U+0000", std::string("\xFF\xFE\0\0", 4), L""},
        {"UTF-8 with mark", "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC\r\nx", L"日本\r\nx"},
        {"only the UTF-8 mark", "\xEF\xBB\xBF", L""},
    };
    for (const MarkedCase& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path path = Write(c.bytes);
        EXPECT_EQ(LoadTextFile(path), c.expected);
        EXPECT_EQ(LoadTextFileWithCp932Fallback(path), c.expected);
    }
}

TEST_F(TextFileTest, UnmarkedTextIsUtf8OrWithFallbackShiftJis) {
    const fs::path utf8 = Write(
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\xA9\xE3\x82\xA4"
        "\xE3\x82\xBB\xE3\x83\xB3\xE3\x82\xB9 ABC",
        L"utf8.txt");
    EXPECT_EQ(LoadTextFile(utf8), kJapaneseText);
    EXPECT_EQ(LoadTextFileWithCp932Fallback(utf8), kJapaneseText);

    const fs::path ascii = Write("MstaFolder=C:\\Data\r\n", L"ascii.txt");
    EXPECT_EQ(LoadTextFile(ascii), L"MstaFolder=C:\\Data\r\n");
    EXPECT_EQ(LoadTextFileWithCp932Fallback(ascii), L"MstaFolder=C:\\Data\r\n");

    // Shift_JIS without a mark: the plain loader keeps what is valid UTF-8 and
    // replaces the rest; the fallback loader reads it as code page 932.
    const fs::path shiftJis = Write(kShiftJisText, L"sjis.txt");
    const std::wstring plain = LoadTextFile(shiftJis);
    EXPECT_NE(plain.find(L'\xFFFD'), std::wstring::npos);
    EXPECT_EQ(plain.substr(plain.size() - 4), L" ABC");
    EXPECT_EQ(LoadTextFileWithCp932Fallback(shiftJis), kJapaneseText);
}

TEST_F(TextFileTest, MissingFileLoadsAsEmpty) {
    const fs::path missing = dir_ / L"missing.txt";
    EXPECT_EQ(LoadTextFile(missing), L"");
    EXPECT_EQ(LoadTextFileWithCp932Fallback(missing), L"");
    EXPECT_TRUE(ReadUtf8Lines(missing).empty());
    EXPECT_TRUE(ReadUtf8Lines(dir_).empty());  // a folder cannot be read as a file
}

TEST_F(TextFileTest, ReadUtf8LinesKeepsOnlyNonBlankLinesWithoutLineEnds) {
    const fs::path path = Write(
        "\xEF\xBB\xBF"
        "first\r\n"
        "\r\n"
        "\n"
        "  indented \r\n"
        "inner\rcr\r\r\n"
        "\xE3\x83\x97\xE3\x83\xAD\xE3\x82\xB0\\\xE8\xAA\xAC.pdf\n"
        "last without line feed",
        L"プログラム.txt");
    const std::vector<std::wstring> expected = {L"first", L"  indented ", L"inner\rcr", L"プログ\\説.pdf",
                                                L"last without line feed"};
    EXPECT_EQ(ReadUtf8Lines(path), expected);
}

TEST_F(TextFileTest, ReadUtf8LinesWithoutMarkAndOnlyBlankLines) {
    EXPECT_EQ(ReadUtf8Lines(Write("a\nb\n", L"plain.txt")), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(ReadUtf8Lines(Write("\xEF\xBB\xBF\r\n\n\r\n", L"blank.txt")).empty());
    EXPECT_TRUE(ReadUtf8Lines(Write("", L"empty.txt")).empty());
}

TEST(ReadWholeFileTest, ReadsFromTheCurrentPositionUnchanged) {
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::istringstream in(bytes);
    in.seekg(5);
    EXPECT_EQ(ReadWholeFile(in), bytes.substr(5));
}

struct ConversionCase {
    const char* label;
    std::wstring wide;
    std::string utf8;
};

TEST(WideToUtf8Test, Conversions) {
    const ConversionCase cases[] = {
        {"empty", L"", ""},
        {"ascii", L"Uninstall.exe", "Uninstall.exe"},
        {"japanese", L"説明書\\日本.pdf", "\xE8\xAA\xAC\xE6\x98\x8E\xE6\x9B\xB8\\\xE6\x97\xA5\xE6\x9C\xAC.pdf"},
        {"surrogate pair", L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {"text after U+0000 dropped", std::wstring(L"ab\0cd", 5), "ab"},
        {"only U+0000", std::wstring(1, L'\0'), ""},
        {"unpaired high surrogate", L"a\xD800z", "a\xEF\xBF\xBDz"},
        {"unpaired low surrogate at end", L"a\xDC00", "a\xEF\xBF\xBD"},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(WideToUtf8(c.wide), c.utf8);
    }
}

TEST(Utf8ToWideTest, Conversions) {
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(Utf8ToWide("files/a.txt"), L"files/a.txt");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), L"\xD83D\xDE00");
    // Invalid bytes do not fail; they become U+FFFD and the rest is kept.
    const std::wstring replaced = Utf8ToWide(
        "a\xFF"
        "b");
    EXPECT_EQ(replaced,
              L"a\xFFFD"
              L"b");
    // Round trip of what the manifests store.
    const std::wstring name = L"プログラム\\説明書.pdf";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(name)), name);
}

}  // namespace
}  // namespace zel
