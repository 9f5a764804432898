// The ASCII-only case helpers: A-Z fold, and nothing else does, not even the
// characters 32 away from them or letters of other scripts.
#include "util/ascii.h"

#include <gtest/gtest.h>

#include <string_view>

#include "common/show_text.h"

namespace zel {
namespace {

using test::Show;

TEST(Ascii, LowerOnlyFoldsAToZ) {
    struct Case {
        wchar_t in, out;
    };
    // The letters and the characters 32 away from them; É, İ, Д and Ａ stay.
    const Case cases[] = {
        {L'A', L'a'},           {L'Z', L'z'},           {L'a', L'a'},           {L'@', L'@'},
        {L'[', L'['},           {L'`', L'`'},           {L'{', L'{'},           {L'\u00C9', L'\u00C9'},
        {L'\u0130', L'\u0130'}, {L'\u0414', L'\u0414'}, {L'\uFF21', L'\uFF21'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AsciiLower(c.in), c.out) << Show(std::wstring_view(&c.in, 1));
        if (c.in < 0x80) {
            EXPECT_EQ(AsciiLower(static_cast<char>(c.in)), static_cast<char>(c.out));
        }
    }
    EXPECT_EQ(AsciiLower('\xC9'), '\xC9');  // a byte above 0x7F, negative as char
}

TEST(Ascii, CompareTable) {
    struct Case {
        std::wstring_view a, b;
        int sign;
    };
    const Case cases[] = {
        {L"Setup.INI", L"setup.ini", 0},
        {L"", L"", 0},
        {L"a", L"B", -1},
        {L"B", L"a", 1},
        {L"ab", L"ABC", -1},
        {L"ABC", L"ab", 1},
        // Characters 32 apart that are not letters stay different.
        {L"@", L"`", -1},
        {L"[", L"{", -1},
        // Letters of other scripts do not fold.
        {L"\u00C9", L"\u00E9", -1},
        {L"\u0414", L"\u0434", -1},
        {L"\uFF21", L"\uFF41", -1},
        // Units compare as unsigned numbers; ASCII folds to lower case first.
        {L"\uFF21", L"z", 1},
        {L"_", L"A", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.a) + " | " + Show(c.b));
        EXPECT_EQ(CompareIgnoreAsciiCase(c.a, c.b), c.sign);
        EXPECT_EQ(CompareIgnoreAsciiCase(c.b, c.a), -c.sign);
        EXPECT_EQ(EqualsIgnoreAsciiCase(c.a, c.b), c.sign == 0);
    }
}

TEST(Ascii, StartsAndEndsWith) {
    EXPECT_TRUE(StartsWithIgnoreAsciiCase(L"C:\\Program Files\\Zel", L"c:\\PROGRAM files"));
    EXPECT_TRUE(StartsWithIgnoreAsciiCase(L"abc", L""));
    EXPECT_FALSE(StartsWithIgnoreAsciiCase(L"ab", L"abc"));
    EXPECT_FALSE(StartsWithIgnoreAsciiCase(L"\u00C9t\u00E9", L"\u00E9"));
    EXPECT_TRUE(EndsWithIgnoreAsciiCase(L"Notes.TXT", L".txt"));
    EXPECT_TRUE(EndsWithIgnoreAsciiCase(L"abc", L""));
    EXPECT_FALSE(EndsWithIgnoreAsciiCase(L"bc", L"abc"));
    EXPECT_FALSE(EndsWithIgnoreAsciiCase(L"app.\uFF25\uFF38\uFF25", L".exe"));  // full-width EXE
    EXPECT_FALSE(EndsWithIgnoreAsciiCase(L"a.ex@", L".ex`"));
}

}  // namespace
}  // namespace zel
