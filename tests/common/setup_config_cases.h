// setup.ini fixtures shared by the portable reader's tests (Linux) and the
// profile-function loader's tests (Wine), so that the two readers cannot drift
// apart. Each fixture is written as the payload carries it: UTF-16LE with a
// byte-order mark.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "config/setup_config.h"
#include "util/ascii.h"
#include "util/unicode.h"

namespace zel {

inline bool operator==(const StartMenuItem& a, const StartMenuItem& b) {
    return a.label == b.label && a.target == b.target;
}

inline void PrintTo(const StartMenuItem& item, std::ostream* out) {
    *out << "{" << WideToUtf8(item.label) << " | " << WideToUtf8(item.target) << "}";
}

namespace testcases {

inline std::vector<std::uint8_t> Utf16LeWithBom(std::wstring_view text) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    const std::vector<std::uint8_t> body = EncodeUtf16Le(text);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

// What a run sees without any setup.ini.
inline SetupConfig DefaultConfig() {
    SetupConfig config;
    config.AppName = L"アプリケーション";
    config.AppVersion = L"1.0.0";
    config.ProgramsDisplayName = L"アプリケーション";
    config.DisplayVersion = L"1.0.0";
    config.ProductVersion = L"1.0.0";
    config.Publisher = L"ZelSetup";
    config.DefaultInstallDir = L"C:\\Program Files\\アプリケーション";
    config.ShortcutName = L"アプリケーション";
    config.StartMenuGroupName = L"アプリケーション";
    return config;
}

struct SetupIniCase {
    const char* name;
    std::optional<std::wstring> ini;                // nullopt: no file at all
    std::function<void(SetupConfig&)> expectation;  // applied to DefaultConfig()
};

// Sections far longer than 65,536 characters: 6,000 [Files] lines (about
// 200,000 characters) and 3,000 lines in each other list section.
inline SetupIniCase LongSectionsCase() {
    std::wstring ini = L"[Files]\r\n";
    std::vector<std::wstring> files;
    for (int i = 0; i < 6000; ++i) {
        files.push_back(L"bin\\component_" + std::to_wstring(i) + L"\\library_" + std::to_wstring(i) + L".dll");
        ini += L"File" + std::to_wstring(i) + L"=" + files.back() + L"\r\n";
    }
    files.push_back(L"App.exe");
    ini += L"Last=App.exe\r\n[System32RegSvr]\r\n";
    std::vector<std::wstring> libraries;
    std::vector<StartMenuItem> items;
    for (int i = 0; i < 3000; ++i) {
        libraries.push_back(L"system32\\registered_component_" + std::to_wstring(i) + L".dll");
        ini += L"Dll" + std::to_wstring(i) + L"=" + libraries.back() + L"\r\n";
    }
    ini += L"[StartMenuItems]\r\n";
    for (int i = 0; i < 3000; ++i) {
        items.push_back({L"Manual " + std::to_wstring(i), L"Doc\\manual_" + std::to_wstring(i) + L".pdf"});
        ini += L"Item" + std::to_wstring(i) + L"=" + items.back().label + L"|" + items.back().target + L"\r\n";
    }
    return {"LongSectionsArriveWhole", ini, [files, libraries, items](SetupConfig& c) {
                c.Files = files;
                c.MainExe = L"App.exe";
                c.System32RegSvr = libraries;
                c.StartMenuItems = items;
            }};
}

inline std::vector<SetupIniCase> SetupIniCases() {
    const std::wstring longName(600, L'n');
    return {
        LongSectionsCase(),
        {"NoFile", std::nullopt, [](SetupConfig&) {}},
        {"EmptyFile", L"", [](SetupConfig&) {}},
        {"OtherSectionsOnly", L"[Other]\r\nAppName=Foo\r\n", [](SetupConfig&) {}},
        {"AppNameOnly", L"[Setup]\r\nAppName=Foo\r\n",
         [](SetupConfig& c) { c.AppName = c.ProgramsDisplayName = c.ShortcutName = c.StartMenuGroupName = L"Foo"; }},
        {"AppVersionFeedsDisplayAndProductVersion", L"[Setup]\r\nAppVersion=2.0\r\n",
         [](SetupConfig& c) { c.AppVersion = c.DisplayVersion = c.ProductVersion = L"2.0"; }},
        {"DisplayVersionFeedsProductVersion", L"[Setup]\r\nDisplayVersion=2.0.1\r\n",
         [](SetupConfig& c) { c.DisplayVersion = c.ProductVersion = L"2.0.1"; }},
        {"EmptyValuesStayEmpty",
         L"[Setup]\r\nAppName=Foo\r\nProgramsDisplayName=\r\nShortcutName=   \r\nPublisher=\r\nAppVersion=\r\n",
         [](SetupConfig& c) {
             c.AppName = c.StartMenuGroupName = L"Foo";
             c.ProgramsDisplayName = c.ShortcutName = c.Publisher = L"";
             c.AppVersion = c.DisplayVersion = c.ProductVersion = L"";
         }},
        {"AllKeysTrimmedAndCaseInsensitive",
         L"[setup]\r\n"
         L"APPNAME =  サンプル アプリ  \r\n"
         L"appversion=4.15.0\r\n"
         L"ProgramsDisplayName=サンプル アプリ 4.15\r\n"
         L"DisplayVersion=4.15\r\n"
         L"ProductVersion=4.15.0.7\r\n"
         L"Publisher=Example Corp.\r\n"
         L"SupportUrl=https://example.com/\r\n"
         L"HelpUrl=https://example.com/help\r\n"
         L"UpdateUrl=https://example.com/update\r\n"
         L"DefaultInstallDir=C:\\Program Files\\Sample\r\n"
         L"ShortcutName=Sample\r\n"
         L"StartMenuGroupName=Sample Group\r\n"
         L"LicenseFile=license.rtf\r\n",
         [](SetupConfig& c) {
             c.AppName = L"サンプル アプリ";
             c.AppVersion = L"4.15.0";
             c.ProgramsDisplayName = L"サンプル アプリ 4.15";
             c.DisplayVersion = L"4.15";
             c.ProductVersion = L"4.15.0.7";
             c.Publisher = L"Example Corp.";
             c.SupportUrl = L"https://example.com/";
             c.HelpUrl = L"https://example.com/help";
             c.UpdateUrl = L"https://example.com/update";
             c.DefaultInstallDir = L"C:\\Program Files\\Sample";
             c.ShortcutName = L"Sample";
             c.StartMenuGroupName = L"Sample Group";
             c.LicenseFile = L"license.rtf";
         }},
        {"FirstOfDuplicateKeysWins", L"[Setup]\nAppName=First\nAppName=Second\nappname=Third\n",
         [](SetupConfig& c) { c.AppName = c.ProgramsDisplayName = c.ShortcutName = c.StartMenuGroupName = L"First"; }},
        // The profile functions drop trailing blanks of a default, so the names
        // that default to AppName lose them.
        {"QuotedValueLosesQuotes", L"[Setup]\r\nAppName=\"  Quoted  \"\r\n",
         [](SetupConfig& c) {
             c.AppName = L"  Quoted  ";
             c.ProgramsDisplayName = c.ShortcutName = c.StartMenuGroupName = L"  Quoted";
         }},
        {"LongValueCutTo511", L"[Setup]\r\nAppName=" + longName + L"\r\n",
         [longName](SetupConfig& c) {
             c.AppName = c.ProgramsDisplayName = c.ShortcutName = c.StartMenuGroupName = longName.substr(0, 511);
         }},
        {"FilesValuesAndMainExe",
         L"[FILES]\r\n"
         L"File1=readme.txt\r\n"
         L"a.exe=b\r\n"
         L"x=y=z\r\n"
         L"NoEquals\r\n"
         L"File3=\r\n"
         L"File4=bin\\Foo.EXE\r\n"
         L"File5=later.exe\r\n"
         L"file5=duplicate key.txt\r\n",
         [](SetupConfig& c) {
             c.Files = {L"readme.txt", L"b", L"y=z", L"bin\\Foo.EXE", L"later.exe", L"duplicate key.txt"};
             c.MainExe = L"bin\\Foo.EXE";
         }},
        {"PatternBecomesMainExe", L"[Files]\r\nFile1=data\\*.dat\r\nFile2=*.exe\r\nFile3=App.exe\r\n",
         [](SetupConfig& c) {
             c.Files = {L"data\\*.dat", L"*.exe", L"App.exe"};
             c.MainExe = L"*.exe";
         }},
        {"NoExeNoMainExe", L"[Files]\r\nFile1=app.exe.config\r\nFile2=exe\r\n",
         [](SetupConfig& c) {
             c.Files = {L"app.exe.config", L"exe"};
         }},
        {"System32RegSvrPaths",
         L"[system32regsvr]\r\nDll1=system32/a.dll   \r\nDll2=   \r\nDll3=SysWOW64/sub/b.ocx\r\nDll1=c.dll\r\n",
         [](SetupConfig& c) {
             c.System32RegSvr = {L"system32\\a.dll", L"SysWOW64\\sub\\b.ocx", L"c.dll"};
         }},
        {"StartMenuItemLines",
         L"[StartMenuItems]\r\n"
         L"Item1=Manual|Doc/Manual.pdf\r\n"
         L"Item2=Doc\\Guide.pdf\r\n"
         L"Item3=|App.exe\r\n"
         L"Item4=Name|\r\n"
         L"Item5=   \r\n"
         L"Item6= ツール  |  bin/tool.exe \r\n"
         L"Item6=Again|a|b.txt\r\n",
         [](SetupConfig& c) {
             c.StartMenuItems = {{L"Manual", L"Doc\\Manual.pdf"},
                                 {L"Guide", L"Doc\\Guide.pdf"},
                                 {L"App", L"App.exe"},
                                 {L"ツール", L"bin\\tool.exe"},
                                 {L"Again", L"a|b.txt"}};
         }},
        {"WholeProduct",
         L"[Setup]\nAppName=Zel Demo\nAppVersion=1.2.3\nLicenseFile=license.txt\n"
         L"[Files]\nFile1=ZelDemo.exe\nFile2=lib\\*.dll\n"
         L"[StartMenuItems]\nItem1=ZelDemo.exe\n"
         L"[System32RegSvr]\nDll1=system32\\zeldemo.dll\n",
         [](SetupConfig& c) {
             c.AppName = c.ProgramsDisplayName = c.ShortcutName = c.StartMenuGroupName = L"Zel Demo";
             c.AppVersion = c.DisplayVersion = c.ProductVersion = L"1.2.3";
             c.LicenseFile = L"license.txt";
             c.Files = {L"ZelDemo.exe", L"lib\\*.dll"};
             c.MainExe = L"ZelDemo.exe";
             c.StartMenuItems = {{L"ZelDemo", L"ZelDemo.exe"}};
             c.System32RegSvr = {L"system32\\zeldemo.dll"};
         }},
    };
}

inline void PrintTo(const SetupIniCase& c, std::ostream* out) { *out << c.name; }

inline void ExpectSameConfig(const SetupConfig& actual, const SetupConfig& expected) {
    EXPECT_EQ(actual.AppName, expected.AppName);
    EXPECT_EQ(actual.AppVersion, expected.AppVersion);
    EXPECT_EQ(actual.ProgramsDisplayName, expected.ProgramsDisplayName);
    EXPECT_EQ(actual.DisplayVersion, expected.DisplayVersion);
    EXPECT_EQ(actual.ProductVersion, expected.ProductVersion);
    EXPECT_EQ(actual.Publisher, expected.Publisher);
    EXPECT_EQ(actual.SupportUrl, expected.SupportUrl);
    EXPECT_EQ(actual.HelpUrl, expected.HelpUrl);
    EXPECT_EQ(actual.UpdateUrl, expected.UpdateUrl);
    EXPECT_EQ(actual.DefaultInstallDir, expected.DefaultInstallDir);
    EXPECT_EQ(actual.ShortcutName, expected.ShortcutName);
    EXPECT_EQ(actual.StartMenuGroupName, expected.StartMenuGroupName);
    EXPECT_EQ(actual.LicenseFile, expected.LicenseFile);
    EXPECT_EQ(actual.MainExe, expected.MainExe);
    EXPECT_EQ(actual.Files, expected.Files);
    EXPECT_EQ(actual.System32RegSvr, expected.System32RegSvr);
    EXPECT_EQ(actual.StartMenuItems, expected.StartMenuItems);
}

// Rules applied to values as a reader returned them (readers strip blanks
// around values, so these cases cannot all come from a file).
struct DeriveLabelCase {
    const wchar_t* target;
    const wchar_t* label;
};

inline const std::vector<DeriveLabelCase>& DeriveLabelCases() {
    static const std::vector<DeriveLabelCase> cases = {
        {L"App.exe", L"App"},
        {L"Doc\\Guide.pdf", L"Guide"},
        {L"Doc/Guide.pdf", L"Guide"},
        {L"archive.tar.gz", L"archive.tar"},
        {L".profile", L".profile"},
        {L"Doc\\.profile", L".profile"},
        {L"name.", L"name"},
        {L"README", L"README"},
        {L"Doc\\", L"Doc\\"},
        {L"C:", L"C:"},
        {L"C:\\", L"C:\\"},
        {L"\\", L"\\"},
        {L"C:App.exe", L"App"},
        {L"C:\\Tools\\App.exe", L"App"},
        {L"\\\\server\\share\\App.exe", L"App"},
        {L"a:b", L"b"},
        {L"Doc\\file.txt:stream", L"file"},
        {L"Doc\\:stream", L":stream"},
        {L"..", L".."},
        {L"Doc\\.", L"."},
    };
    return cases;
}

inline void ExpectDeriveLabelCases() {
    for (const DeriveLabelCase& c : DeriveLabelCases()) {
        EXPECT_EQ(DeriveLabel(c.target), c.label) << WideToUtf8(c.target);
    }
}

inline void ExpectValueRules() {
    // Values are taken as read: trailing blanks keep a name from being MainExe.
    EXPECT_EQ(MainExeFromValues({L"app.exe ", L"tool.Exe"}), L"tool.Exe");
    EXPECT_EQ(MainExeFromValues({L"app.exe\t", L".exe"}), L".exe");
    EXPECT_EQ(MainExeFromValues({L"exe", L""}), L"");
    EXPECT_EQ(System32RegSvrFromValues({L"system32/a.dll   ", L" \t\r\n", L"\tb.dll\r\n"}),
              (std::vector<std::wstring>{L"system32\\a.dll", L"b.dll"}));
    EXPECT_EQ(SectionValuesFromLines({L"a.exe=b", L"x=y=z", L"k=", L"noequals", L"=v", L"", L"after=end"}),
              (std::vector<std::wstring>{L"b", L"y=z", L"v"}));
    EXPECT_EQ(SectionValuesFromLines({L"k= padded "}), (std::vector<std::wstring>{L" padded "}));
    EXPECT_EQ(TrimWhitespace(L" \t\r\nx y\n\r\t "), L"x y");
    EXPECT_EQ(TrimWhitespace(L"\u3000x\u3000"), L"\u3000x\u3000");  // only ASCII blanks
}

}  // namespace testcases
}  // namespace zel
