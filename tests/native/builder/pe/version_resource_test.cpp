#include "builder/pe/version_resource.h"

#include <gtest/gtest.h>

#include "util/unicode.h"

namespace zel {
namespace {

TEST(FixedVersionNumbersTest, TakesTheLeadingDigitsOfEachComponent) {
    const std::pair<std::wstring, std::array<std::uint16_t, 4>> cases[] = {
        {L"1.2.0", {1, 2, 0, 0}},      {L"4.15", {4, 15, 0, 0}},       {L"1.2.3.4.5", {1, 2, 3, 4}},
        {L"1.2.0-beta", {1, 2, 0, 0}}, {L"2.70000", {2, 65535, 0, 0}}, {L"v2", {0, 0, 0, 0}},
        {L"", {0, 0, 0, 0}},           {L"..7", {0, 0, 7, 0}},
    };
    for (const auto& [text, numbers] : cases) EXPECT_EQ(FixedVersionNumbers(text), numbers) << WideToUtf8(text);
}

}  // namespace
}  // namespace zel
