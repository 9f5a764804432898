#include "install/destination/destination_rules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "common/show_text.h"
#include "util/unicode.h"

namespace zel {
namespace {

using test::Show;

// What the refusal names; empty for an accepted destination.
struct TextCase {
    std::wstring destination;
    std::wstring_view problemStart;
};

TEST(DestinationRules, TextRules) {
    constexpr std::wstring_view kNotFull = L"インストール先には、ドライブ文字から始まるフルパス";
    constexpr std::wstring_view kBadName = L"インストール先のパスに、フォルダ名に使えない文字";
    constexpr std::wstring_view kBare = L"ドライブ、Program Files またはユーザー プロファイル";
    constexpr std::wstring_view kTooLong = L"インストール先のパスが長すぎます。";
    constexpr std::wstring_view kPercent = L"インストール先のパスに % は使えません";
    const std::wstring longest = L"C:\\" + std::wstring(kMaxDestinationLength - 3, L'x');
    const TextCase cases[] = {
        {L"C:\\Program Files\\Zel App", L""},
        {L"d:/apps/zel", L""},
        {L"C:\\Apps\\Zel\\", L""},
        {L"C:\\Apps\\\x8AAC\x660E", L""},
        {L"C:\\Apps\\Zel 1.0", L""},
        {longest, L""},
        {longest + L"\\", L""},
        // Not a fully qualified path on a drive.
        {L"relapp", kNotFull},
        {L"   ", kNotFull},
        {L"Apps\\Zel", kNotFull},
        {L"C:Apps", kNotFull},
        {L"\\Apps\\Zel", kNotFull},
        {L"\\\\server\\share\\Zel", kNotFull},
        {L"\\\\?\\C:\\Zel", kNotFull},
        {L" C:\\Zel", kNotFull},
        {L"1:\\Zel", kNotFull},
        // Names a folder cannot have, or that Windows would change.
        {L"C:\\Apps\\..\\Windows", kBadName},
        {L"C:\\Apps\\.\\Zel", kBadName},
        {L"C:\\Apps\\Zel.", kBadName},
        {L"C:\\Apps\\Zel ", kBadName},
        {L"C:\\Apps\\Z?l", kBadName},
        {L"C:\\Apps\\a:b", kBadName},
        {L"C:\\Apps\\a|b", kBadName},
        {L"C:\\Apps\\NUL", kBadName},
        {L"C:\\com1.txt\\Zel", kBadName},
        {L"C:\\Apps\\Zel\tApp", kBadName},
        // Every name Windows keeps for a device, with or without an extension.
        {L"C:\\Apps\\CONIN$", kBadName},
        {L"C:\\conout$.log\\Zel", kBadName},
        {L"C:\\Apps\\COM\x00B9", kBadName},
        {L"C:\\Apps\\lpt\x00B2.txt", kBadName},
        {L"C:\\Apps\\LPT\x00B3", kBadName},
        {L"C:\\Apps\\COM0", kBadName},
        {L"C:\\Apps\\lpt0", kBadName},
        {L"C:\\Apps\\NUL .txt", kBadName},
        {L"C:\\Apps\\COM10", L""},
        {L"C:\\Apps\\COM\x2074", L""},
        {L"C:\\Apps\\CONSOLE", L""},
        {L"C:\\Apps\\CONIN", L""},
        {L"C:\\Apps\\CON-1", L""},
        // cmd would expand it in the registered uninstall command.
        {L"C:\\Apps\\100%\\Zel", kPercent},
        {L"C:\\%OS%\\Zel", kPercent},
        {L"C:\\Apps\\Zel%", kPercent},
        // A bare drive.
        {L"C:\\", kBare},
        {L"C:/", kBare},
        {L"C:\\\\", kBare},
        // Too long for the uninstaller: its own path must stay within 259 characters.
        {longest + L"x", kTooLong},
        {L"C:\\" + std::wstring(400, L'x'), kTooLong},
        {L"C:\\" + std::wstring(kMaxDestinationLength / 2, L'\U0001F600'), kTooLong},
    };
    for (const TextCase& c : cases) {
        std::wstring problem;
        const bool accepted = CheckDestinationText(c.destination, problem);
        if (c.problemStart.empty()) {
            EXPECT_TRUE(accepted) << Show(c.destination) << ": " << Show(problem);
        } else {
            EXPECT_FALSE(accepted) << Show(c.destination);
            EXPECT_TRUE(problem.starts_with(c.problemStart)) << Show(c.destination) << ": " << Show(problem);
        }
    }
}

// A machine with its folders where Windows puts them.
DestinationFacts MachineFacts() {
    DestinationFacts facts;
    facts.windowsFolder = L"C:\\Windows";
    facts.programFilesFolders = {L"C:\\Program Files", L"C:\\Program Files (x86)"};
    facts.profilesFolder = L"C:\\Users";
    facts.userProfile = L"C:\\Users\\admin";
    return facts;
}

TEST(DestinationRules, FactRules) {
    constexpr std::wstring_view kWindows = L"Windows フォルダとその中にはインストールできません。";
    constexpr std::wstring_view kBare = L"ドライブ、Program Files またはユーザー プロファイル";
    constexpr std::wstring_view kOther = L"このフォルダには別の製品がインストールされています";
    constexpr std::wstring_view kTooLong = L"インストール先のパスが長すぎます。";
    struct Case {
        const char* what;
        std::wstring destination;
        void (*adjust)(DestinationFacts&);
        std::wstring problem;  // the whole text, or its start for the fixed texts
    };
    const auto none = [](DestinationFacts&) {};
    const Case cases[] = {
        {"ordinary folder", L"C:\\Program Files\\Zel App", none, L""},
        {"folder in a profile", L"C:\\Users\\admin\\Apps\\Zel", none, L""},
        {"other drive", L"D:\\Zel", none, L""},
        {"Windows folder", L"C:\\Windows", none, std::wstring(kWindows)},
        {"Windows folder in other case", L"c:/WINDOWS/", none, std::wstring(kWindows)},
        {"inside the Windows folder", L"C:\\Windows\\System32\\Zel", none, std::wstring(kWindows)},
        {"a name that only starts like Windows", L"C:\\WindowsApps2\\Zel", none, L""},
        {"through a short name", L"C:\\WINDOW~1\\Zel", [](DestinationFacts& f) { f.resolved = L"C:\\Windows\\Zel"; },
         std::wstring(kWindows)},
        {"through a link to a drive root", L"C:\\Link", [](DestinationFacts& f) { f.resolved = L"E:\\"; },
         std::wstring(kBare)},
        {"bare Program Files", L"C:\\Program Files", none, std::wstring(kBare)},
        {"bare Program Files (x86)", L"c:\\program files (X86)\\", none, std::wstring(kBare)},
        {"the profiles folder", L"C:\\Users", none, std::wstring(kBare)},
        {"the user's profile", L"C:\\Users\\Admin", none, std::wstring(kBare)},
        {"another profile", L"C:\\Users\\Public", none, std::wstring(kBare)},
        {"folder letters folded beyond ASCII", L"C:\\Users\\\x00C9t\x00C9",
         [](DestinationFacts& f) { f.userProfile = L"C:\\Users\\\x00E9t\x00E9"; }, std::wstring(kBare)},
        {"missing drive", L"Q:\\Zel", [](DestinationFacts& f) { f.drive = DestinationDrive::Missing; },
         L"インストール先のドライブが見つかりません: Q:"},
        {"network drive", L"Z:\\Zel", [](DestinationFacts& f) { f.drive = DestinationDrive::Remote; },
         L"インストール先には、このコンピューターのローカル ドライブ上のフォルダを指定してください。"},
        {"CD drive", L"E:\\Zel", [](DestinationFacts& f) { f.drive = DestinationDrive::ReadOnly; },
         L"インストール先には、このコンピューターのローカル ドライブ上のフォルダを指定してください。"},
        {"a file in the way", L"C:\\Apps\\Zel\\bin", [](DestinationFacts& f) { f.fileInTheWay = L"C:\\Apps\\Zel"; },
         L"インストール先に同じ名前のファイルがあるため、フォルダを作成できません: C:\\Apps\\Zel"},
        {"another product's installation", L"C:\\Apps\\Other", [](DestinationFacts& f) { f.holdsInstallation = true; },
         std::wstring(kOther)},
        {"this product's own installation", L"C:\\Apps\\Zel",
         [](DestinationFacts& f) {
             f.holdsInstallation = true;
             f.registeredHere = true;
         },
         L""},
        {"own installation whose key is gone", L"C:\\Apps\\Zel",
         [](DestinationFacts& f) {
             f.holdsInstallation = true;
             f.manifestListsOwnFiles = true;
         },
         L""},
        {"own files listed, but another program's key names the folder", L"C:\\Apps\\Other",
         [](DestinationFacts& f) {
             f.holdsInstallation = true;
             f.manifestListsOwnFiles = true;
             f.registeredToOther = true;
         },
         std::wstring(kOther)},
        {"keys of another program and of this product", L"C:\\Apps\\Zel",
         [](DestinationFacts& f) {
             f.holdsInstallation = true;
             f.registeredToOther = true;
             f.registeredHere = true;
         },
         L""},
        {"another program's key and no manifest of ours", L"C:\\Apps\\Other",
         [](DestinationFacts& f) {
             f.holdsInstallation = true;
             f.registeredToOther = true;
         },
         std::wstring(kOther)},
        // The typed text is short; the form Windows opens is what must fit.
        {"short name resolving too long", L"C:\\LONGFO~1\\Zel",
         [](DestinationFacts& f) { f.resolved = L"C:\\" + std::wstring(kMaxDestinationLength - 3 + 1, L'x'); },
         std::wstring(kTooLong)},
        {"link resolving too long", L"C:\\Link\\Zel",
         [](DestinationFacts& f) { f.resolved = L"D:\\" + std::wstring(269, L'x'); }, std::wstring(kTooLong)},
        {"resolving to the longest that fits", L"C:\\LONGFO~1\\Zel",
         [](DestinationFacts& f) { f.resolved = L"C:\\" + std::wstring(kMaxDestinationLength - 3, L'x') + L"\\"; },
         L""},
    };
    for (const Case& c : cases) {
        DestinationFacts facts = MachineFacts();
        c.adjust(facts);
        std::wstring problem;
        const bool accepted = CheckDestinationFacts(c.destination, facts, problem);
        EXPECT_EQ(accepted, c.problem.empty()) << c.what;
        EXPECT_TRUE(problem.starts_with(c.problem)) << c.what << ": " << Show(problem);
        if (c.problem.empty()) {
            EXPECT_TRUE(problem.empty()) << c.what;
        }
    }
}

TEST(DestinationRules, OwnFilesInAManifest) {
    SetupConfig withMain;
    withMain.MainExe = L"bin/Zel.exe";
    withMain.Files = {L"bin/Zel.exe", L"Readme.txt"};
    SetupConfig withoutMain;
    withoutMain.Files = {L"Doc\\*", L"Data\\\x00C4.dat", L"*.txt;*.md"};
    const struct {
        const char* what;
        const SetupConfig& config;
        std::vector<std::wstring> lines;
        bool own;
    } cases[] = {
        {"main program listed", withMain, {L"Uninstall.exe", L"bin\\Zel.exe", L"Readme.txt"}, true},
        {"main program in other letter case", withMain, {L"BIN\\zel.EXE"}, true},
        {"only other files of the product", withMain, {L"Readme.txt", L"Uninstall.exe"}, false},
        {"an empty manifest", withMain, {}, false},
        {"a file named like the main program elsewhere", withMain, {L"Zel.exe", L"old\\bin\\Zel.exe"}, false},
        {"no main program: a [Files] value naming one file", withoutMain, {L"data\\\x00E4.dat"}, true},
        {"no main program: patterns name no file", withoutMain, {L"Doc\\*", L"*.txt;*.md", L"Doc\\a.txt"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListsOwnFiles(c.lines, c.config), c.own) << c.what;
    }
}

// Every folder README and the packager's guide offer as a /dir example is one
// the program takes: on a line that mentions /dir, the value of a "/dir ..."
// command line and the `...` paths after "such as".
TEST(DestinationRules, DocumentedDirExamplesAreAccepted) {
    const std::regex commandLine(R"re(/dir\s+(?:"([^"]+)"|([^\s`|"]+)))re");
    const std::regex suchAs(R"re(such as ((?:`[^`]+`(?:, | or |, or )?)+))re");
    const std::regex quoted(R"re(`([^`]+)`)re");
    std::vector<std::string> examples;
    for (const char* document : {"README.md", "docs/setup-ini.md"}) {
        std::ifstream in(std::filesystem::path(ZEL_SOURCE_DIR) / document);
        ASSERT_TRUE(in) << document;
        for (std::string line; std::getline(in, line);) {
            if (line.find("/dir") == std::string::npos) continue;
            for (std::sregex_iterator it(line.begin(), line.end(), commandLine), end; it != end; ++it) {
                const std::string value = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
                if (!value.starts_with("<")) examples.push_back(value);  // not a placeholder
            }
            for (std::sregex_iterator it(line.begin(), line.end(), suchAs), end; it != end; ++it) {
                const std::string list = (*it)[1].str();
                for (std::sregex_iterator item(list.begin(), list.end(), quoted); item != end; ++item) {
                    examples.push_back((*item)[1].str());
                }
            }
        }
    }
    EXPECT_FALSE(examples.empty()) << "no /dir example found";
    for (const std::string& example : examples) {
        std::wstring problem;
        EXPECT_TRUE(CheckDestinationText(Utf8ToWide(example), problem)) << example << ": " << Show(problem);
    }
}

TEST(DestinationRules, SameFolder) {
    EXPECT_TRUE(IsSameFolderText(L"C:\\Program Files\\Zel", L"c:/program files/ZEL/"));
    EXPECT_TRUE(IsSameFolderText(L"C:\\Apps\\\x0434\x043E\x043A", L"C:\\Apps\\\x0414\x041E\x041A"));
    EXPECT_FALSE(IsSameFolderText(L"C:\\Apps\\Zel", L"C:\\Apps\\Zel2"));
    EXPECT_FALSE(IsSameFolderText(L"C:\\Apps\\Zel", L"D:\\Apps\\Zel"));
}

}  // namespace
}  // namespace zel
