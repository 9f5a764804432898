// The refusal of a product that still holds the placeholders --init wrote: it
// names every one, by file, line and key, wherever it is.
#include "builder/product/placeholder_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "util/unicode.h"

namespace zel {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

IniDocument Ini(const std::string& text) {
    return IniDocument::Parse(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string Refusal(const std::string& ini, const std::wstring& license) {
    try {
        CheckNoPlaceholders(Ini(ini), "Terms/License.txt", license);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

TEST(PlaceholderChecksTest, NamesEveryPlaceholderLeft) {
    const std::string ini =
        "; AppName=<replace: a comment is no value>\n"           // 1
        "[Setup]\n"                                              // 2
        "AppName=<replace: the product's name>\n"                // 3
        "Publisher=Zel\n"                                        // 4
        "DefaultInstallDir=%ProgramFiles%\\<REPLACE: folder>\n"  // 5
        "[Files]\n"                                              // 6
        "File1=<Replace: App.exe>\n";                            // 7
    const std::string text = Refusal(ini, L"Terms\r\nof use\r\n<replace: the licence>\r\n");
    EXPECT_THAT(text, HasSubstr("InstallerBuilder --init"));
    EXPECT_THAT(text, HasSubstr("setup.ini line 3 ([Setup] AppName): \"<replace: the product's name>\""));
    EXPECT_THAT(text, HasSubstr("setup.ini line 5 ([Setup] DefaultInstallDir)"));
    EXPECT_THAT(text, HasSubstr("setup.ini line 7 ([Files] File1)"));
    EXPECT_THAT(text, HasSubstr("Terms/License.txt line 3: \"<replace: the licence>\""));
    EXPECT_THAT(text, Not(HasSubstr("line 1 ")));
    EXPECT_THAT(text, Not(HasSubstr("line 4 ")));
}

TEST(PlaceholderChecksTest, FilledProductPasses) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"[Setup]\nAppName=Zel Notes\n", L"Terms of use\n"},
        // Angle brackets and the word alone are ordinary text.
        {"[Setup]\nAppName=<Zel> replace: notes\n", L"Replace: nothing <here>\n"},
        {"[Setup]\n", Placeholder(L"x").substr(0, 8)},
    };
    for (const auto& [ini, license] : cases) EXPECT_EQ(Refusal(ini, license), "") << ini;
    EXPECT_NE(Refusal("[Setup]\n", Placeholder(L"the licence")), "");
}

}  // namespace
}  // namespace zel
