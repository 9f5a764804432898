// UTF-8 and UTF-16LE conversions where wchar_t holds whole code points (32
// bits wide, as on Linux): invalid input, the limits of every sequence length,
// and round trips over the whole code space.
#include "util/unicode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace zel {
namespace {

static_assert(sizeof(wchar_t) == 4, "these cases take wchar_t to hold whole code points");

// Builds a wide text from code points, so that the tables can hold values a
// wide string literal cannot (surrogates, values above U+10FFFF).
std::wstring Wide(std::initializer_list<std::uint32_t> codePoints) {
    std::wstring text;
    for (const std::uint32_t cp : codePoints) text.push_back(static_cast<wchar_t>(cp));
    return text;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> bytes) { return bytes; }

// The code points of a text as "U+0041 U+FFFD", for failure messages.
std::string Points(std::wstring_view text) {
    std::string shown;
    char buffer[16];
    for (const wchar_t c : text) {
        std::snprintf(buffer, sizeof buffer, "U+%04X ", static_cast<unsigned>(c));
        shown += buffer;
    }
    return shown;
}

std::string Hex(std::string_view bytes) {
    std::string shown;
    char buffer[8];
    for (const char c : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X ", static_cast<unsigned char>(c));
        shown += buffer;
    }
    return shown;
}

constexpr std::uint32_t kFffd = 0xFFFD;

// One code point of each class and at each limit of its UTF-8 length, with its
// UTF-8 bytes and UTF-16 code units written out by hand.
struct CodePointCase {
    std::uint32_t codePoint;
    std::string_view utf8;
    std::vector<std::uint8_t> utf16le;
};

const CodePointCase kCodePointCases[] = {
    {0x0001, "\x01", {0x01, 0x00}},
    {0x0041, "A", {0x41, 0x00}},
    {0x007F, "\x7F", {0x7F, 0x00}},
    {0x0080, "\xC2\x80", {0x80, 0x00}},
    {0x00E9, "\xC3\xA9", {0xE9, 0x00}},
    {0x07FF, "\xDF\xBF", {0xFF, 0x07}},
    {0x0800, "\xE0\xA0\x80", {0x00, 0x08}},
    {0x3042, "\xE3\x81\x82", {0x42, 0x30}},  // あ
    {0xD7FF, "\xED\x9F\xBF", {0xFF, 0xD7}},  // below the surrogates
    {0xE000, "\xEE\x80\x80", {0x00, 0xE0}},  // above them
    {0xFEFF, "\xEF\xBB\xBF", {0xFF, 0xFE}},  // byte-order mark: kept as text
    {0xFFFD, "\xEF\xBF\xBD", {0xFD, 0xFF}},
    {0xFFFF, "\xEF\xBF\xBF", {0xFF, 0xFF}},
    {0x10000, "\xF0\x90\x80\x80", {0x00, 0xD8, 0x00, 0xDC}},
    {0x1F600, "\xF0\x9F\x98\x80", {0x3D, 0xD8, 0x00, 0xDE}},  // 😀
    {0x20BB7, "\xF0\xA0\xAE\xB7", {0x42, 0xD8, 0xB7, 0xDF}},  // 𠮷
    {0x10FFFF, "\xF4\x8F\xBF\xBF", {0xFF, 0xDB, 0xFF, 0xDF}},
};

TEST(Unicode, CodePointClassesTable) {
    for (const auto& c : kCodePointCases) {
        SCOPED_TRACE(Points(Wide({c.codePoint})));
        const std::wstring wide = Wide({c.codePoint});
        EXPECT_EQ(WideToUtf8(wide), c.utf8);
        EXPECT_EQ(Utf8ToWide(c.utf8), wide);
        std::wstring strict = L"left over";
        EXPECT_TRUE(Utf8ToWideStrict(c.utf8, strict));
        EXPECT_EQ(strict, wide);
        EXPECT_EQ(EncodeUtf16Le(wide), c.utf16le);
        EXPECT_EQ(DecodeUtf16Le(c.utf16le), wide);
    }
}

// Every scalar value, in one text, through both encodings and back.
TEST(Unicode, EveryScalarValueRoundTrips) {
    std::wstring all;
    for (std::uint32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp < 0xD800 || cp > 0xDFFF) all.push_back(static_cast<wchar_t>(cp));
    }
    const std::string utf8 = WideToUtf8(all);
    std::wstring back;
    ASSERT_TRUE(Utf8ToWideStrict(utf8, back));
    EXPECT_TRUE(back == all);
    EXPECT_TRUE(Utf8ToWide(utf8) == all);
    EXPECT_TRUE(DecodeUtf16Le(EncodeUtf16Le(all)) == all);
}

// Malformed UTF-8: each byte that does not start a complete, shortest-form
// sequence of a scalar value becomes one U+FFFD, and decoding goes on with
// the next byte, so that a following valid character is never swallowed.
struct InvalidUtf8Case {
    const char* what;
    std::string_view bytes;
    std::wstring wide;
};

const InvalidUtf8Case kInvalidUtf8Cases[] = {
    {"lone continuation byte", "\x80", Wide({kFffd})},
    {"continuation bytes between letters",
     "a\x80\xBF"
     "b",
     Wide({'a', kFffd, kFffd, 'b'})},
    {"C0 overlong of '/'", "\xC0\xAF", Wide({kFffd, kFffd})},
    {"C1 overlong", "\xC1\xBF", Wide({kFffd, kFffd})},
    {"overlong NUL", "\xC0\x80", Wide({kFffd, kFffd})},
    {"3-byte overlong of U+07FF", "\xE0\x9F\xBF", Wide({kFffd, kFffd, kFffd})},
    {"4-byte overlong of U+FFFF", "\xF0\x8F\xBF\xBF", Wide({kFffd, kFffd, kFffd, kFffd})},
    {"high surrogate U+D800", "\xED\xA0\x80", Wide({kFffd, kFffd, kFffd})},
    {"low surrogate U+DFFF", "\xED\xBF\xBF", Wide({kFffd, kFffd, kFffd})},
    {"surrogate pair in CESU-8", "\xED\xA0\xBD\xED\xB8\x80", Wide({kFffd, kFffd, kFffd, kFffd, kFffd, kFffd})},
    {"U+110000", "\xF4\x90\x80\x80", Wide({kFffd, kFffd, kFffd, kFffd})},
    {"F5 lead byte", "\xF5\x80\x80\x80", Wide({kFffd, kFffd, kFffd, kFffd})},
    {"FE and FF", "\xFE\xFF", Wide({kFffd, kFffd})},
    {"5-byte form", "\xF8\x88\x80\x80\x80", Wide({kFffd, kFffd, kFffd, kFffd, kFffd})},
    {"2-byte sequence cut at the end", "a\xC3", Wide({'a', kFffd})},
    {"3-byte sequence cut at the end", "\xE3\x81", Wide({kFffd, kFffd})},
    {"4-byte sequence cut at the end", "\xF0\x9F\x98", Wide({kFffd, kFffd, kFffd})},
    {"3-byte sequence cut by a letter",
     "\xE3\x81"
     "A",
     Wide({kFffd, kFffd, 'A'})},
    {"4-byte sequence cut by a lead byte", "\xF0\x9F\xE3\x81\x82", Wide({kFffd, kFffd, 0x3042})},
    {"valid after invalid", "\xFF\xC3\xA9", Wide({kFffd, 0xE9})},
};

TEST(Unicode, InvalidUtf8Table) {
    for (const auto& c : kInvalidUtf8Cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Utf8ToWide(c.bytes), c.wide) << Points(Utf8ToWide(c.bytes));
        std::wstring out;
        EXPECT_FALSE(Utf8ToWideStrict(c.bytes, out));
    }
}

TEST(Unicode, Utf8KeepsNulAndEmpty) {
    EXPECT_EQ(Utf8ToWide(""), L"");
    std::wstring out = L"left over";
    EXPECT_TRUE(Utf8ToWideStrict("", out));
    EXPECT_EQ(out, L"");
    // A NUL byte is a character like any other here; only the wide-to-UTF-8
    // direction ends at it.
    EXPECT_EQ(Utf8ToWide(std::string_view("a\0b", 3)), Wide({'a', 0, 'b'}));
}

// Wide text that is not a sequence of scalar values. A high surrogate followed
// by a low one is the UTF-16 form of one character and is joined.
struct InvalidWideCase {
    const char* what;
    std::wstring wide;
    std::string_view utf8;
};

const InvalidWideCase kInvalidWideCases[] = {
    {"lone high surrogate", Wide({0xD800}), "\xEF\xBF\xBD"},
    {"lone low surrogate", Wide({0xDC00}), "\xEF\xBF\xBD"},
    {"high surrogate at the end", Wide({'a', 0xDBFF}), "a\xEF\xBF\xBD"},
    {"high surrogate before a letter", Wide({0xD83D, 'x'}), "\xEF\xBF\xBDx"},
    {"low before high", Wide({0xDE00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"two highs, then a low", Wide({0xD83D, 0xD83D, 0xDE00}), "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    {"a pair as two units", Wide({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
    {"U+110000", Wide({0x110000}), "\xEF\xBF\xBD"},
    {"largest positive wchar_t", Wide({0x7FFFFFFF}), "\xEF\xBF\xBD"},
    {"negative wchar_t", Wide({0xFFFFFFFF}), "\xEF\xBF\xBD"},
    {"text ends at U+0000", Wide({'a', 'b', 0, 'c', 'd'}), "ab"},
    {"U+0000 first", Wide({0, 'a'}), ""},
    {"empty", Wide({}), ""},
};

TEST(Unicode, WideToUtf8InvalidTable) {
    for (const auto& c : kInvalidWideCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WideToUtf8(c.wide), c.utf8) << Hex(WideToUtf8(c.wide));
    }
}

TEST(Unicode, DecodeUtf16LeTable) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::wstring wide;
    };
    const Case cases[] = {
        {"empty", Bytes({}), Wide({})},
        {"one byte alone is ignored", Bytes({0x41}), Wide({})},
        {"odd trailing byte is ignored", Bytes({0x41, 0x00, 0x42}), Wide({'A'})},
        {"low byte first", Bytes({0x00, 0x30, 0x42, 0x30}), Wide({0x3000, 0x3042})},
        {"U+0000 is kept", Bytes({0x61, 0x00, 0x00, 0x00, 0x62, 0x00}), Wide({'a', 0, 'b'})},
        {"pair", Bytes({0x3D, 0xD8, 0x00, 0xDE}), Wide({0x1F600})},
        {"pair cut by the odd trailing byte", Bytes({0x3D, 0xD8, 0x00}), Wide({kFffd})},
        {"high surrogate at the end", Bytes({0x61, 0x00, 0x3D, 0xD8}), Wide({'a', kFffd})},
        {"high surrogate before a letter", Bytes({0x3D, 0xD8, 0x78, 0x00}), Wide({kFffd, 'x'})},
        {"lone low surrogate", Bytes({0x00, 0xDE, 0x78, 0x00}), Wide({kFffd, 'x'})},
        {"low before high", Bytes({0x00, 0xDE, 0x3D, 0xD8}), Wide({kFffd, kFffd})},
        {"two highs, then a low", Bytes({0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}), Wide({kFffd, 0x1F600})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeUtf16Le(c.bytes), c.wide) << Points(DecodeUtf16Le(c.bytes));
    }
}

TEST(Unicode, EncodeUtf16LeTable) {
    struct Case {
        const char* what;
        std::wstring wide;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"empty", Wide({}), Bytes({})},
        {"U+0000 is kept", Wide({'a', 0, 'b'}), Bytes({0x61, 0x00, 0x00, 0x00, 0x62, 0x00})},
        // A unit that came in as a lone surrogate goes out as it came, so that a
        // name read from UTF-16 is written back unchanged.
        {"lone surrogate kept", Wide({0xD800, 'x'}), Bytes({0x00, 0xD8, 0x78, 0x00})},
        {"U+110000", Wide({0x110000}), Bytes({0xFD, 0xFF})},
        {"negative wchar_t", Wide({0xFFFFFFFF}), Bytes({0xFD, 0xFF})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(EncodeUtf16Le(c.wide), c.bytes);
    }
}

}  // namespace
}  // namespace zel
