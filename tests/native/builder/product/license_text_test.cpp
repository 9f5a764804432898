#include "builder/product/license_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel {
namespace {

TEST(DecodeLicenseTextTest, FollowsTheInstallersDecoding) {
    struct Case {
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"", L""},
        {"\xFF\xFE", L""},
        {std::string("\xFF\xFE"
                     "A\0",
                     4),
         L"A"},
        {std::string("\xFF\xFE"
                     "A\0\0\0\0\0",
                     8),
         L"A"},  // trailing U+0000 removed
        {std::string("\xFF\xFE"
                     "A\0B",
                     5),
         L""},  // odd length
        {"\xEF\xBB\xBF"
         "ok",
         L"ok"},
        {"\xEF\xBB\xBF", L""},
        {"plain", L"plain"},
        {"\x83\x65", L"\xFFFD\x65"},  // not UTF-8: replacement characters
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(DecodeLicenseText(bytes), c.text) << ::testing::PrintToString(c.bytes);
    }
}

// Text the wizard would show otherwise than written is named; the forms
// setup.exe decodes as written are not.
TEST(LicenseEncodingProblemTest, NamesTextTheWizardWouldNotShowAsWritten) {
    const std::pair<std::string, std::string> cases[] = {
        {"Terms \xE2\x80\x94 \xE6\x9D\xA1\xE9\xA0\x85\r\n", ""},
        {"\xEF\xBB\xBF\xE6\x9D\xA1\xE9\xA0\x85", ""},
        {std::string("\xFF\xFE"
                     "T\0\x61\x67",
                     6),
         ""},
        {"\x8F\xF0\x8D\x80",
         "is neither UTF-8 nor UTF-16LE with a byte-order mark (a legacy code page such as "
         "Shift_JIS?)"},
        {"\xEF\xBB\xBF\x8F\xF0", "is neither UTF-8"},
        {std::string("\xFE\xFF\0T", 4), "is UTF-16 big-endian"},
        {std::string("T\0e\0", 4), "holds NUL characters (UTF-16 without a byte-order mark?)"},
    };
    for (const auto& [bytes, problem] : cases) {
        const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
        EXPECT_EQ(LicenseEncodingProblem(data).substr(0, problem.size()), problem) << ::testing::PrintToString(bytes);
        EXPECT_EQ(LicenseEncodingProblem(data).empty(), problem.empty()) << ::testing::PrintToString(bytes);
    }
}

}  // namespace
}  // namespace zel
