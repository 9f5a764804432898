#include "builder/product/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

namespace zel {
namespace {

TEST(TerminalTextTest, EscapesWhatATerminalWouldActOn) {
    const std::pair<std::string, std::string> cases[] = {
        // Shown as they are: text in any script, paths with backslashes.
        {"製品 ゼルビューア", "製品 ゼルビューア"},
        {"C:\\Program Files\\Zel\\*.dll", "C:\\Program Files\\Zel\\*.dll"},
        {"emoji \xF0\x9F\x98\x80", "emoji \xF0\x9F\x98\x80"},
        // A window title change and a screen clear.
        {"files/\x1B]0;pwned\x07\x1B[2J.txt", "files/\\x1B]0;pwned\\x07\\x1B[2J.txt"},
        {"a\rb\nc\td", "a\\x0Db\\x0Ac\\x09d"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7F", "del\\x7F"},
        // C1 controls (U+009B is a one-character CSI), separators, bidi overrides.
        {"\xC2\x9B"
         "2J",
         "\\u009B2J"},
        {"\xC2\x85"
         "x",
         "\\u0085x"},
        {"line\xE2\x80\xA8two", "line\\u2028two"},
        {"evil\xE2\x80\xAEtxt.exe", "evil\\u202Etxt.exe"},
        {"\xE2\x81\xA6x\xE2\x81\xA9", "\\u2066x\\u2069"},
        // Bytes that are not UTF-8: each one escaped, what follows kept.
        {"\x83\x65", "\\x83e"},
        {"\xE3\x81", "\\xE3\\x81"},                    // cut short
        {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong "/"
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // beyond U+10FFFF
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(TerminalText(text), shown) << ::testing::PrintToString(text);
}

}  // namespace
}  // namespace zel
