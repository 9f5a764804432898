#include "config/install_dir_variables.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/show_text.h"

namespace zel {
namespace {

using test::Show;

TEST(InstallDirVariables, ExpandsKnownNamesAndLeavesTheRestAsWritten) {
    const std::map<std::wstring, std::wstring, std::less<>> values = {
        {L"ProgramFiles", L"D:\\Programs"}, {L"A", L"1"}, {L"ProgramFiles(x86)", L"D:\\Programs (x86)"}};
    const VariableLookup lookup = [&values](std::wstring_view name) -> std::optional<std::wstring> {
        const auto found = values.find(name);
        if (found == values.end()) return std::nullopt;
        return found->second;
    };
    const struct {
        std::wstring text;
        std::wstring expanded;
    } cases[] = {
        {L"%ProgramFiles%\\Vendor\\App", L"D:\\Programs\\Vendor\\App"},
        {L"%ProgramFiles(x86)%\\App", L"D:\\Programs (x86)\\App"},
        {L"C:\\Apps\\%A%\\%A%", L"C:\\Apps\\1\\1"},
        {L"C:\\Apps\\Zel", L"C:\\Apps\\Zel"},
        {L"", L""},
        // Signs pair from the left; unknown names stay with both their signs.
        {L"%Nope%\\App", L"%Nope%\\App"},
        {L"%Nope%A%", L"%Nope%A%"},
        {L"%Nope%%A%", L"%Nope%1"},
        {L"100%\\%A%", L"100%\\%A%"},
        {L"%%A%", L"%%A%"},
        {L"%A", L"%A"},
        {L"50% off", L"50% off"},
        {L"%", L"%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Show(ExpandVariables(c.text, lookup)), Show(c.expanded)) << Show(c.text);
    }
}

TEST(InstallDirVariables, LeadingVariableAndTheMachineFolders) {
    EXPECT_EQ(LeadingVariable(L"%ProgramFiles%\\App"), L"ProgramFiles");
    EXPECT_EQ(LeadingVariable(L"%SystemDrive%"), L"SystemDrive");
    EXPECT_EQ(LeadingVariable(L"C:\\%ProgramFiles%"), L"");
    EXPECT_EQ(LeadingVariable(L"%%\\App"), L"");
    EXPECT_EQ(LeadingVariable(L"%ProgramFiles"), L"");

    ASSERT_NE(FindFolderVariable(L"programfiles"), nullptr);
    EXPECT_EQ(FindFolderVariable(L"PROGRAMFILES(X86)")->usualValue, L"C:\\Program Files (x86)");
    EXPECT_EQ(FindFolderVariable(L"LocalAppData"), nullptr);
    EXPECT_EQ(FindFolderVariable(L"ProgramData"), nullptr) << "standard users may write there";
}

}  // namespace
}  // namespace zel
