#include "app/command_line.h"
#include "app/product_lock_name.h"
#include "util/unicode.h"

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

struct ParseCase {
    const char* name;
    std::vector<std::wstring> arguments;  // after the program path
    std::wstring key;
    bool quiet;
    std::wstring installDir;
    std::wstring logFile;
    std::wstring error;  // empty: the command line is understood
    bool help = false;
};

TEST(CommandLine, QuietSwitches) {
    const std::vector<ParseCase> cases = {
        {"Nothing", {}, L"", false, L"", L"", L""},
        {"QuietSetup", {L"/quiet"}, L"", true, L"", L"", L""},
        {"DashAndCaseFolded", {L"-QuIeT", L"-DIR", L"C:\\A", L"/Log", L"x.log"}, L"", true, L"C:\\A", L"x.log", L""},
        {"QuietUninstall", {L"/uninstall", L"{K}", L"/quiet"}, L"{K}", true, L"", L"", L""},
        {"QuietBeforeUninstall",
         {L"/quiet", L"-uninstall", L"{K}", L"/log", L"u.log"},
         L"{K}",
         true,
         L"",
         L"u.log",
         L""},
        {"KeyLooksLikeASwitch", {L"/uninstall", L"/quiet"}, L"/quiet", false, L"", L"", L""},
        {"ValueVerbatim", {L"/dir", L" C:\\My App\\ "}, L"", false, L" C:\\My App\\ ", L"", L""},
        {"LastOneCounts", {L"/log", L"a.log", L"/log", L"b.log"}, L"", false, L"", L"b.log", L""},
        {"DirLast", {L"/quiet", L"/dir"}, L"", true, L"", L"", L"/dir の値がありません。"},
        {"DirEmpty", {L"/dir", L"", L"/quiet"}, L"", true, L"", L"", L"/dir の値がありません。"},
        {"DirThenSwitch", {L"/dir", L"/quiet"}, L"", true, L"", L"", L"/dir の値がありません。"},
        {"LogThenSwitch", {L"-log", L"-DIR", L"C:\\A"}, L"", false, L"C:\\A", L"", L"-log の値がありません。"},
        {"UnknownSwitch", {L"/quiet", L"/silent"}, L"", true, L"", L"", L"不明な引数です: /silent"},
        {"StrayArgument", {L"x", L"/quiet"}, L"", true, L"", L"", L"不明な引数です: x"},
        {"GluedValue", {L"/dir=C:\\A"}, L"", false, L"", L"", L"不明な引数です: /dir=C:\\A"},
        {"FirstProblemReported", {L"/what", L"/dir"}, L"", false, L"", L"", L"不明な引数です: /what"},
        {"SecondUninstallIsUnknown",
         {L"/uninstall", L"K", L"/uninstall", L"L"},
         L"K",
         false,
         L"",
         L"",
         L"不明な引数です: /uninstall"},
        // Other installers' silent switches do nothing here: the interactive run
        // goes on, a quiet run refuses them.
        {"OtherInstallersSilent", {L"/S"}, L"", false, L"", L"", L"不明な引数です: /S"},
        {"OtherInstallersVerySilent", {L"/VERYSILENT"}, L"", false, L"", L"", L"不明な引数です: /VERYSILENT"},
        {"Help", {L"/?"}, L"", false, L"", L"", L"", true},
        {"HelpWordDashCapitals", {L"-HELP"}, L"", false, L"", L"", L"", true},
        {"HelpAmongOthers", {L"/dir", L"C:\\A", L"-?"}, L"", false, L"C:\\A", L"", L"", true},
        {"HelpIsASwitchNotAValue", {L"/log", L"/?"}, L"", false, L"", L"", L"/log の値がありません。", true},
        {"HelpInAQuietRun",
         {L"/quiet", L"/Help", L"/?"},
         L"",
         true,
         L"",
         L"",
         L"/Help は /quiet と一緒には使えません。",
         true},
        {"HelpGlued", {L"/?x"}, L"", false, L"", L"", L"不明な引数です: /?x"},
    };
    for (const ParseCase& c : cases) {
        std::vector<std::wstring> arguments = {L"setup.exe"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CommandLine parsed = ParseCommandLine(arguments);
        EXPECT_EQ(parsed.productKey, c.key) << c.name;
        EXPECT_EQ(parsed.productKey, UninstallKeyFromArguments(arguments)) << c.name << ": the old grammar decides";
        EXPECT_EQ(parsed.quiet, c.quiet) << c.name;
        EXPECT_EQ(parsed.installDir, c.installDir) << c.name;
        EXPECT_EQ(parsed.logFile, c.logFile) << c.name;
        EXPECT_EQ(parsed.error, c.error) << c.name;
        EXPECT_EQ(parsed.help, c.help) << c.name;
    }
}

TEST(CommandLine, AbsoluteWindowsPaths) {
    const struct {
        const wchar_t* path;
        bool absolute;
    } cases[] = {
        {L"C:\\Program Files\\App", true},
        {L"d:/apps", true},
        {L"C:\\", true},
        {L"\\\\server\\share\\App", true},
        {L"\\\\?\\C:\\App", true},
        {L"C:", false},
        {L"C:App", false},
        {L"\\App", false},
        {L"/App", false},
        {L"App", false},
        {L".\\App", false},
        {L"..\\App", false},
        {L"", false},
        {L"\\\\", false},
        {L"1:\\App", false},
        {L" C:\\App", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsAbsoluteWindowsPath(c.path), c.absolute) << WideToUtf8(c.path);
}

TEST(CommandLine, ProductLockNames) {
    const std::wstring name = ProductLockName(L"ゼルビューア");
    EXPECT_EQ(name, ProductLockName(L"ゼルビューア")) << "stable";
    EXPECT_TRUE(name.starts_with(L"ZelSetup_"));
    EXPECT_EQ(name.size(), std::wstring(L"ZelSetup_").size() + 16);
    EXPECT_EQ(name.find(L'\\'), std::wstring::npos) << "the lock puts it into its namespace";
    // AppNames are told apart exactly, keys without regard to ASCII case, and
    // a key never takes the name of an AppName with the same text.
    EXPECT_NE(name, ProductLockName(L"ゼルビューア2"));
    EXPECT_NE(ProductLockName(L"App"), ProductLockName(L"app"));
    EXPECT_EQ(ProductKeyLockName(L"{ab-CD}"), ProductKeyLockName(L"{AB-cd}"));
    EXPECT_NE(ProductKeyLockName(L"App"), ProductLockName(L"App"));
    EXPECT_EQ(ProductLockName(std::wstring(5000, L'\\')).size(), name.size()) << "any name gives a valid object name";
}

}  // namespace
}  // namespace zel
