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

// What the four numbers cannot hold is refused; what only loses its text
// (a suffix, a letter) is held by its leading digits and is not.
TEST(FixedVersionProblemTest, NamesWhatTheFourNumbersCannotHold) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"1.2.0", ""},
        {L"65535.65535.65535.65535", ""},
        {L"1.2.0-beta", ""},
        {L"v2", ""},
        {L"..7", ""},
        {L"", "is empty"},
        {L"1.0.0.0.1", "has 5 numbers"},
        {L"1.2.3.4.0", "has 5 numbers"},
        {L"70000.1", "has the number 70000"},
        {L"1.65536", "has the number 65536"},
        {L"2.99999999999999999999-rc", "has the number 99999999999999999999"},
    };
    for (const auto& [text, problem] : cases) EXPECT_EQ(FixedVersionProblem(text), problem) << WideToUtf8(text);
}

}  // namespace
}  // namespace zel
