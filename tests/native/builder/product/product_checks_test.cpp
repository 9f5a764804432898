#include "builder/product/product_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "util/unicode.h"

namespace zel {
namespace {

TEST(NearestNameTest, SuggestsOnlyLikelyMisspellings) {
    const std::vector<std::wstring_view> sections = {L"Setup", L"Files", L"StartMenuItems", L"System32RegSvr"};
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"Setpu", L"Setup"},                    // two letters swapped
        {L"file", L"Files"},                     // letter case and one letter
        {L"StartMenuItem", L"StartMenuItems"},   // one letter short
        {L"System32RegSrv", L"System32RegSvr"},  // swapped
        {L"Shortcuts", L""},                     // nothing close
        {L"Icons", L""},
        {std::wstring(200, L'x'), L""},  // long names are not compared
    };
    for (const auto& [name, nearest] : cases) EXPECT_EQ(NearestName(name, sections), nearest) << WideToUtf8(name);
}

TEST(PlainNameProblemTest, AcceptsFileNamesOnly) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"ゼルビューア", ""},
        {L"Tool 1.5", ""},
        {L"Notes.lnk", ""},
        {L"", "is empty"},
        {L"Sub\\Name", "holds a path separator"},
        {L"../x", "holds a path separator"},
        {L"C:\\x", "holds a path separator"},
        {L"..", "is not a name"},
        {L"a:b", "':' is not allowed"},
        {L"a?b", "'?' is not allowed"},
        {L"name.", "trailing dot or space"},
        {L"CON", "device name"},
        {L"conin$.log", "device name"},
        {L"CONOUT$", "device name"},
        {L"COM0.txt", "device name"},
        {L"LPT\u00b9", "device name"},
        {L"COM10", ""},
        {L"CONIN", ""},
    };
    for (const auto& [name, problem] : cases) {
        if (problem.empty()) {
            EXPECT_EQ(PlainNameProblem(name), "") << WideToUtf8(name);
        } else {
            EXPECT_THAT(PlainNameProblem(name), ::testing::HasSubstr(problem)) << WideToUtf8(name);
        }
    }
}

TEST(QuoteValueTest, QuotesLongValuesByTheirStart) {
    EXPECT_EQ(QuoteValue(L"短い"), "\"短い\"");
    EXPECT_EQ(QuoteValue(std::wstring(80, L'a')), "\"" + std::string(80, 'a') + "\"");
    EXPECT_EQ(QuoteValue(std::wstring(81, L'a')), "\"" + std::string(60, 'a') + "...\" (81 characters)");
}

// What the four numbers cannot hold is refused; what only loses its text
// (a suffix, a letter) is held by its leading digits and is not.
TEST(VersionResourceProblemTest, NamesWhatTheFourNumbersCannotHold) {
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
    for (const auto& [text, problem] : cases) EXPECT_EQ(VersionResourceProblem(text), problem) << WideToUtf8(text);
}

}  // namespace
}  // namespace zel
