// Upper-casing one UTF-16 unit: the letters of several scripts fold, while
// units without a simple round-tripping capital, surrogates and the ends of the
// range stay as they are.
#include "util/upper_case.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(UpperCaseUnit, Table) {
    struct Case {
        const char* what;
        char16_t unit;
        char16_t upper;
    };
    const Case cases[] = {
        {"U+0000", 0x0000, 0x0000},
        {"'`' before 'a'", 0x0060, 0x0060},
        {"'a'", 0x0061, 0x0041},
        {"'z'", 0x007A, 0x005A},
        {"'{' after 'z'", 0x007B, 0x007B},
        {"capital 'A' stays", 0x0041, 0x0041},
        {"'é'", 0x00E9, 0x00C9},
        {"'÷' between Latin-1 runs", 0x00F7, 0x00F7},
        {"'ÿ' to 'Ÿ' outside Latin-1", 0x00FF, 0x0178},
        {"'ß' has no one-unit capital", 0x00DF, 0x00DF},
        {"'ā' in an every-other run", 0x0101, 0x0100},
        {"'Ā' in that run's gaps", 0x0100, 0x0100},
        {"'ı' does not round-trip", 0x0131, 0x0131},
        {"'ſ' does not round-trip", 0x017F, 0x017F},
        {"title-case 'ǅ' stays", 0x01C5, 0x01C5},
        {"'ǆ'", 0x01C6, 0x01C4},
        {"Greek 'α'", 0x03B1, 0x0391},
        {"Greek final 'ς' does not round-trip", 0x03C2, 0x03C2},
        {"Greek 'σ'", 0x03C3, 0x03A3},
        {"Cyrillic 'д'", 0x0434, 0x0414},
        {"Cyrillic 'ё'", 0x0451, 0x0401},
        {"Armenian 'ա'", 0x0561, 0x0531},
        {"Latin extended 'ḁ'", 0x1E01, 0x1E00},
        {"small Roman numeral one", 0x2170, 0x2160},
        {"circled 'ⓐ'", 0x24D0, 0x24B6},
        {"hiragana 'あ' has no case", 0x3042, 0x3042},
        {"CJK '漢' has no case", 0x6F22, 0x6F22},
        {"high surrogate", 0xD83D, 0xD83D},
        {"low surrogate", 0xDE00, 0xDE00},
        {"full-width 'ａ'", 0xFF41, 0xFF21},
        {"full-width 'ｚ'", 0xFF5A, 0xFF3A},
        {"full-width '｛' after 'ｚ'", 0xFF5B, 0xFF5B},
        {"U+FFFF", 0xFFFF, 0xFFFF},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<unsigned>(UpperCaseUnit(c.unit)), static_cast<unsigned>(c.upper)) << c.what;
    }
}

// Whole names fold unit by unit; a character beyond the Basic Multilingual
// Plane stays as its surrogate pair whatever the width of wchar_t, so two such
// characters that share their low 16 bits stay apart.
TEST(FoldedForComparison, FoldsEachUnitAndKeepsSupplementaryCharactersApart) {
    EXPECT_EQ(FoldedForComparison(L"Doc/\u00e4.txt"), u"DOC/\u00c4.TXT");
    EXPECT_EQ(FoldedForComparison(L""), u"");
    EXPECT_EQ(FoldedForComparison(L"\U0001F600"), u"\U0001F600");
    EXPECT_NE(FoldedForComparison(L"\U0001F600"), FoldedForComparison(L"\U0002F600"));
}

}  // namespace
}  // namespace zel
