#include "util/log_file_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace zel {
namespace {

TEST(LogFileEncoding, MarkOrUtf8TextDecidesAndEverythingElseIsRefused) {
    using enum LogFileEncoding;
    const struct {
        const char* name;
        std::string bytes;
        LogFileEncoding expected;
    } cases[] = {
        {"empty: gets the UTF-8 mark", "", Utf8},
        {"UTF-8 mark",
         "\xEF\xBB\xBF"
         "2026-12-01 04:03:07 x\r\n",
         Utf8},
        {"UTF-8 mark only", "\xEF\xBB\xBF", Utf8},
        {"UTF-8 without mark", "\xE3\x82\xBB\xE3\x83\x83\xE3\x83\x88\r\n", Utf8},
        {"plain ASCII", "deploy started\r\n", Utf8},
        {"four-byte UTF-8", "\xF0\x9F\x98\x80", Utf8},
        {"UTF-16LE mark",
         std::string("\xFF\xFE"
                     "a\0\r\0\n\0",
                     8),
         Utf16Le},
        {"UTF-16LE mark only", "\xFF\xFE", Utf16Le},
        {"UTF-16LE of odd length",
         std::string("\xFF\xFE"
                     "a\0b",
                     5),
         Unknown},
        {"UTF-16BE mark", std::string("\xFE\xFF\0a", 4), Unknown},
        {"UTF-16LE without mark", std::string("a\0b\0", 4), Unknown},
        {"Shift_JIS", "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76\r\n", Unknown},
        {"Shift_JIS after ASCII lines", "ok\r\nok\r\n\x93\xFA\x96\x7B\r\n", Unknown},
        {"cut off at the end", "ok \xE3\x82", Unknown},
        {"overlong form", "\xC0\xAF", Unknown},
        {"overlong three-byte form", "\xE0\x80\xAF", Unknown},
        {"surrogate", "\xED\xA0\x80", Unknown},
        {"above U+10FFFF", "\xF4\x90\x80\x80", Unknown},
        {"lone continuation byte", "a\x80", Unknown},
        {"one byte of a mark", "\xFF", Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogFileEncodingOf(c.bytes), c.expected) << c.name;
        // The file is read in pieces: one byte at a time gives the same answer.
        LogFileEncodingProbe probe;
        for (const char b : c.bytes) probe.Add(std::string_view(&b, 1));
        EXPECT_EQ(probe.Result(), c.expected) << c.name << ", byte by byte";
    }
}

}  // namespace
}  // namespace zel
