#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel {
namespace {

struct CommandLineCase {
    const char* name;
    std::vector<std::wstring> arguments;  // argument 0 is the program path
    std::wstring key;                     // empty: setup mode
};

TEST(CommandLine, UninstallKey) {
    const std::wstring exe = L"C:\\Program Files\\App\\Uninstall.exe";
    const std::vector<CommandLineCase> cases = {
        {"NoArguments", {exe}, L""},
        {"NothingAtAll", {}, L""},
        {"Slash", {exe, L"/uninstall", L"{KEY}"}, L"{KEY}"},
        {"Dash", {exe, L"-uninstall", L"K"}, L"K"},
        {"CaseFolded", {exe, L"/UnInstall", L"K"}, L"K"},
        {"AllCapitals", {exe, L"-UNINSTALL", L"K"}, L"K"},
        {"SwitchLast", {exe, L"-uninstall"}, L""},
        {"EmptyKey", {exe, L"/uninstall", L""}, L""},
        {"EmptyKeyThenMore", {exe, L"/uninstall", L"", L"K"}, L""},
        {"OthersIgnored", {exe, L"x", L"/uninstall", L"K", L"y"}, L"K"},
        {"FirstMatchDecides", {exe, L"/uninstall", L"/uninstall", L"K"}, L"/uninstall"},
        {"KeyVerbatim", {exe, L"/uninstall", L" {A B} "}, L" {A B} "},
        {"GluedWithEquals", {exe, L"/uninstall=K"}, L""},
        {"GluedWithColon", {exe, L"/uninstall:K"}, L""},
        {"OtherSwitch", {exe, L"/u", L"K"}, L""},
        {"ProgramPathIsNotAnArgument", {L"/uninstall", L"K"}, L""},
        {"NonAsciiCaseNotFolded", {exe, L"/UNİNSTALL", L"K"}, L""},
    };
    for (const CommandLineCase& c : cases) EXPECT_EQ(UninstallKeyFromArguments(c.arguments), c.key) << c.name;
}

}  // namespace
}  // namespace zel
