#include "config/ini_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/unicode.h"

namespace zel {
namespace {

std::vector<std::uint8_t> Utf16WithBom(std::wstring_view text) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    const auto body = EncodeUtf16Le(text);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

std::vector<std::uint8_t> Utf8(std::wstring_view text, bool bom) {
    std::vector<std::uint8_t> bytes;
    if (bom) bytes = {0xEF, 0xBB, 0xBF};
    const std::string body = WideToUtf8(text);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

constexpr wchar_t kSample[] =
    L"; comment\r\n"
    L"[Setup]\r\n"
    L"AppName =  サンプル \r\n"
    L"appname=Second\r\n"
    L"Quoted=\"  spaced  \"\r\n"
    L"Empty=\r\n"
    L"\r\n"
    L"[files]\r\n"
    L"  File1 = a.exe \r\n"
    L"NoEquals\r\n"
    L"File2=x=y\r\n"
    L"; skipped\r\n"
    L"[FILES]\r\n"
    L"File3=ignored.exe\r\n";

TEST(IniDocument, ReadsEveryEncodingAlike) {
    const std::vector<std::vector<std::uint8_t>> encodings = {Utf16WithBom(kSample), Utf8(kSample, true),
                                                              Utf8(kSample, false)};
    for (const auto& bytes : encodings) {
        const IniDocument ini = IniDocument::Parse(bytes);
        EXPECT_EQ(ini.GetValue(L"SETUP", L"APPNAME"), L"サンプル");  // first match, trimmed
        EXPECT_EQ(ini.GetValue(L"Setup", L"Quoted"), L"  spaced  ");
        EXPECT_EQ(ini.GetValue(L"Setup", L"Empty"), L"");
        EXPECT_EQ(ini.GetValue(L"Setup", L"Missing"), std::nullopt);
        EXPECT_EQ(ini.GetValue(L"Nope", L"AppName"), std::nullopt);
        EXPECT_TRUE(ini.HasSection(L"FILES"));
        EXPECT_FALSE(ini.HasSection(L"Other"));
        // The first section of a name only; comments dropped; lines in file order.
        EXPECT_EQ(ini.SectionLines(L"Files"), (std::vector<std::wstring>{L"File1=a.exe", L"NoEquals", L"File2=x=y"}));
        EXPECT_TRUE(ini.SectionLines(L"Nope").empty());
    }
}

TEST(IniDocument, EmptyAndHeaderlessInput) {
    EXPECT_FALSE(IniDocument::Parse({}).HasSection(L"Setup"));
    const auto bytes = Utf8(L"AppName=Before\n[Setup]\nAppName=After", false);
    const IniDocument ini = IniDocument::Parse(bytes);
    EXPECT_EQ(ini.GetValue(L"Setup", L"AppName"), L"After");
    EXPECT_EQ(ini.GetValue(L"", L"AppName"), std::nullopt);
}

TEST(IniDocument, KeepsCharactersBeyondTheBasicPlane) {
    const IniDocument ini = IniDocument::Parse(Utf16WithBom(L"[S]\nK=\U0001F600x\n"));
    EXPECT_EQ(ini.GetValue(L"S", L"K"), std::wstring(L"\U0001F600x"));
}

TEST(IniDocument, NumbersLinesAsEditorsDo) {
    // CR LF, LF and a lone CR each end one line; the numbers are what a
    // packager's editor shows, in every encoding.
    for (const auto& bytes : {Utf8(kSample, false), Utf16WithBom(L"; c\n[Setup]\rAppName=A\r\n\n[Files]\nF=x")}) {
        const IniDocument ini = IniDocument::Parse(bytes);
        const auto& sections = ini.Sections();
        ASSERT_GE(sections.size(), 3u);
        EXPECT_EQ(sections[1].name, L"Setup");
        EXPECT_EQ(sections[1].lineNumber, 2u);
        EXPECT_EQ(sections[1].lines.front().lineNumber, 3u);
        EXPECT_TRUE(sections[1].lines.front().HasEquals());
        EXPECT_EQ(sections[2].lineNumber, bytes.front() == 0xFF ? 5u : 8u);
    }
    const IniDocument ini = IniDocument::Parse(Utf8(kSample, false));
    const IniDocument::Line& noEquals = ini.Sections()[2].lines[1];
    EXPECT_EQ(noEquals.key, L"NoEquals");
    EXPECT_EQ(noEquals.lineNumber, 10u);
    EXPECT_FALSE(noEquals.HasEquals());
    EXPECT_EQ(ini.Sections()[3].lineNumber, 13u);
}

}  // namespace
}  // namespace zel
