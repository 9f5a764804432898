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

}  // namespace
}  // namespace zel
