// InstallerBuilder as a packager meets it: every check of a product folder with
// its exit code and message, --strict, the identity it gives setup.exe, --list
// and --version.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "builder/pe/version_resource.h"
#include "native/builder/test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;
using ::testing::HasSubstr;

// Line numbers below refer to this text.
constexpr const char* kIni =
    "[Setup]\n"                       // 1
    "AppName=製品\n"                  // 2
    "AppVersion=2.5.1.7\n"            // 3
    "Publisher=Zel 株式会社\n"        // 4
    "LicenseFile=License.txt\n"       // 5
    "[Files]\n"                       // 6
    "File1=App.exe\n"                 // 7
    "File2=Doc\\*\n"                  // 8
    "[StartMenuItems]\n"              // 9
    "Item1=Manual|Doc\\Manual.pdf\n"  // 10
    "[System32RegSvr]\n"              // 11
    "Dll1=com\\Lib.dll\n";            // 12

// A 16x16 icon with a 32-bit bitmap image and a PNG image.
std::string IconFile() {
    std::string bmp(40 + 16 * 16 * 4 + 16 * 4, '\0');
    bmp[0] = 40;
    bmp[4] = 16;
    bmp[8] = 32;
    bmp[12] = 1;
    bmp[14] = 32;
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "not really compressed";
    std::string ico("\0\0\1\0\2\0", 6);
    auto entry = [&](char size, char bits, const std::string& data, std::size_t offset) {
        ico += std::string{size, size, 0, 0, 1, 0, bits, 0};
        for (int i = 0; i < 4; ++i) ico.push_back(static_cast<char>(data.size() >> (8 * i)));
        for (int i = 0; i < 4; ++i) ico.push_back(static_cast<char>(offset >> (8 * i)));
    };
    entry(16, 32, bmp, 6 + 32);
    entry(0, 32, png, 6 + 32 + bmp.size());
    return ico + bmp + png;
}

// An icon file whose directory lists each (offset, size) pair as a 16x16
// image, followed by the body; offsets count from the end of the directory.
std::string IconListing(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& images, const std::string& body) {
    std::string ico("\0\0\1\0", 4);
    ico.push_back(static_cast<char>(images.size()));
    ico.push_back(static_cast<char>(images.size() >> 8));
    const std::uint32_t directoryEnd = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const auto& [offset, size] : images) {
        ico += std::string("\x10\x10\0\0\1\0\x20\0", 8);
        for (const std::uint32_t field : {size, directoryEnd + offset}) {
            for (int i = 0; i < 4; ++i) ico.push_back(static_cast<char>(field >> (8 * i)));
        }
    }
    return ico + body;
}

// A bitmap image of the size whose last byte is the mark, so that images of
// different marks differ.
std::string Bitmap(std::size_t size, char mark) {
    std::string bmp(size, '\0');
    bmp[0] = 40;
    bmp.back() = mark;
    return bmp;
}

// count distinct bitmaps of 64 bytes one after the other.
std::string DistinctImages(std::size_t count) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> images;
    std::string body;
    for (std::size_t i = 0; i < count; ++i) {
        images.emplace_back(static_cast<std::uint32_t>(body.size()), 64);
        body += Bitmap(62, static_cast<char>(i)) + std::string(1, static_cast<char>(i >> 8)) + "!";
    }
    return IconListing(images, body);
}

class BuilderCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeProduct(product());
        test::WriteBytes(stub(), StubBytes());
        fs::create_directory(dir_.path() / "out");
    }
    static void MakeProduct(const fs::path& root) {
        WriteFile(root / "setup.ini", kIni);
        WriteFile(root / "License.txt", "Terms.\n");
        WriteFile(root / "files/App.exe", "MZ app");
        WriteFile(root / "files/Doc/Manual.pdf", "%PDF");
        WriteFile(root / "files/com/Lib.dll", "MZ lib");
    }
    // The real InstallerCore.exe when the test run names it, else a small image.
    static std::vector<std::uint8_t> StubBytes() {
        const char* real = std::getenv("ZEL_STUB_EXE");
        return real != nullptr && fs::exists(real) ? test::ReadBytes(real) : test::MakeTestPe(true);
    }
    fs::path product() const { return dir_.path() / "product"; }
    fs::path stub() const { return dir_.path() / "stub.exe"; }
    fs::path output() const { return dir_.path() / "out" / "setup.exe"; }
    std::string Args(const fs::path& out) const {
        return "'" + product().string() + "' -o '" + out.string() + "' --stub '" + stub().string() + "'";
    }
    std::string Args() const { return Args(output()); }

    int Run(const std::string& args) { return test::RunBuilder(args, dir_.path() / "stdout", dir_.path() / "stderr"); }
    std::string Read(const char* name) const {
        const std::vector<std::uint8_t> bytes = test::ReadBytes(dir_.path() / name);
        return std::string(bytes.begin(), bytes.end());
    }
    std::string Stdout() const { return Read("stdout"); }
    std::string Stderr() const { return Read("stderr"); }

    test::ScratchFolder dir_{L"builder"};
};

// setup.ini with one line replaced (by its number) or text added at the end.
std::function<void(const fs::path&)> IniLine(int number, const std::string& text) {
    return [number, text](const fs::path& r) {
        std::string ini = kIni;
        std::size_t start = 0;
        for (int line = 1; line < number; ++line) start = ini.find('\n', start) + 1;
        ini.replace(start, ini.find('\n', start) - start, text);
        WriteFile(r / "setup.ini", ini);
    };
}
// A product with files/plugins/ and files/ドキュメント/ whose [Files] File2 is the value.
std::function<void(const fs::path&)> FilesValue(const std::string& value) {
    return [value](const fs::path& r) {
        WriteFile(r / "files/plugins/Plugin.dll", "MZ");
        WriteFile(r / "files/ドキュメント/説明.txt", "x");
        IniLine(8, "File2=" + value)(r);
    };
}
std::function<void(const fs::path&)> IniAdd(const std::string& text) {
    return [text](const fs::path& r) { WriteFile(r / "setup.ini", std::string(kIni) + text); };
}

TEST_F(BuilderCliTest, EachCheckGivesItsExitCodeAndMessage) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> change;
        int exit;  // 0: built with the warning, 1: refused, nothing written
        std::vector<std::string> messages;
        std::string extraArgs = {};
    };
    const fs::path outside = dir_.path() / "outside.txt";
    WriteFile(outside, "secret");
    const std::string longName(240, 'n');
    const std::string hugePattern(1 << 20, 'x');
    const Case cases[] = {
        // Errors: what would fail on the customer's machine.
        {"System32RegSvr file missing",
         IniLine(12, "Dll1=com/Missing.dll"),
         1,
         {"error: setup.ini line 12 ([System32RegSvr] Dll1): \"com\\Missing.dll\" is not a file below files/",
          "put the file at files/com/Missing.dll or correct the path"}},
        {"System32RegSvr outside files",
         IniLine(12, "Dll1=..\\License.txt"),
         1,
         {"line 12 ([System32RegSvr] Dll1): \"..\\License.txt\" must be a path below files/"}},
        {"Start-menu target not installed",
         IniLine(10, "Item1=Manual|Doc\\Missing.pdf"),
         1,
         {"error: setup.ini line 10 ([StartMenuItems] Item1): the target \"Doc\\Missing.pdf\" is not installed",
          "add a pattern for it or correct the target"}},
        {"Start-menu target not selected by [Files]",
         IniLine(10, "Item1=Lib|com\\Lib.dll"),
         1,
         {"line 10 ([StartMenuItems] Item1): the target \"com\\Lib.dll\" is not installed"}},
        {"MainExe is a pattern",
         IniLine(7, "File1=*.exe"),
         1,
         {"error: setup.ini line 7 ([Files] File1): \"*.exe\" is the first [Files] value ending in .exe",
          "list the main program by its name before it, e.g. File1=App.exe"}},
        {"a second [Setup] section", IniAdd("[Setup]\n"), 0, {"line 13: a second [Setup] section is ignored"}},
        {"ShortcutName is a path",
         IniLine(2, "AppName=..\\..\\Notes"),
         1,
         {"error: [Setup] ShortcutName (not set, so its default): the desktop shortcut name \"..\\..\\Notes\" holds a "
          "path separator",
          "ShortcutName takes AppName when it is not set: set ShortcutName to a plain name such as My Product, or give "
          "AppName a plain name"}},
        {"ShortcutName with a forbidden character",
         IniLine(2, "ShortcutName=a:b"),
         1,
         {"line 2 ([Setup] ShortcutName): the desktop shortcut name \"a:b\" is not a plain name: ':' is not allowed"}},
        {"StartMenuGroupName climbs out",
         IniLine(2, "StartMenuGroupName=Vendor\\..\\..\\Startup"),
         1,
         {"line 2 ([Setup] StartMenuGroupName): the Start-menu folder \"Vendor\\..\\..\\Startup\" must not climb out"}},
        {"StartMenuGroupName absolute",
         IniLine(2, "StartMenuGroupName=C:\\Users\\Public"),
         1,
         {"the Start-menu folder \"C:\\Users\\Public\" must be a folder name relative to the Start menu"}},
        {"AppName with control characters, echoed escaped",
         IniLine(2, "AppName=\x1B]0;pwned\x07\x1B[2J"),
         1,
         {"the desktop shortcut name \"\\x1B]0;pwned\\x07\\x1B[2J\" is not a plain name: control characters"}},
        {"item name with a separator",
         IniLine(10, "Item1=..\\Manual|Doc\\Manual.pdf"),
         1,
         {"line 10 ([StartMenuItems] Item1): the Start-menu item name \"..\\Manual\" holds a path separator"}},
        {"link leading outside",
         [outside](const fs::path& r) { fs::create_symlink(outside, r / "files/Doc/secret.txt"); },
         1,
         {"error: \"files/Doc/secret.txt\" is a link to a file outside the product folder"}},
        {"licence linked from outside",
         [outside](const fs::path& r) {
             fs::remove(r / "License.txt");
             fs::create_hard_link(outside, r / "License.txt");
         },
         1,
         {"error: the licence file \"License.txt\" has 2 hard links"}},
        {"hard link",
         [outside](const fs::path& r) { fs::create_hard_link(outside, r / "files/Doc/secret.txt"); },
         1,
         {"error: \"files/Doc/secret.txt\" has 2 hard links"}},
        {"files folder linking outside",
         [this](const fs::path& r) {
             fs::rename(r / "files", dir_.path() / "elsewhere");
             fs::create_directory_symlink(dir_.path() / "elsewhere", r / "files");
         },
         1,
         {"error: files/ is a link to a folder outside the product folder"}},
        {"path too long to install",
         [&](const fs::path& r) { WriteFile(r / "files/Doc" / longName, "x"); },
         1,
         {"error: files/Doc/" + longName +
          " cannot be installed: below [Setup] DefaultInstallDir (not set, so its "
          "default) its path is 270 characters long, over the 259 Windows allows"}},
        {"no [Setup] section",
         [](const fs::path& r) { WriteFile(r / "setup.ini", "[Setpu]\nLicenseFile=L.txt\n"); },
         1,
         {"error: setup.ini has no [Setup] section (\"[Setpu]\" on line 1: did you mean [Setup]?)"}},
        {"two byte-order marks",
         [](const fs::path& r) { WriteFile(r / "setup.ini", "\xEF\xBB\xBF\xEF\xBB\xBF" + std::string(kIni)); },
         1,
         {"error: setup.ini starts with two byte-order marks"}},
        {"a second [Files] section", IniAdd("[Files]\n"), 0, {"a second [Files] section"}},
        {"a 1 MB pattern selects nothing",
         IniLine(8, "File2=" + hugePattern),
         1,
         {"line 8 ([Files] File2): \"" + std::string(60, 'x') + "...\" (1048576 characters) selects no file"}},
        {"malformed icon",
         [](const fs::path& r) { WriteFile(r / "bad.ico", "GIF89a"); },
         1,
         {"error: the icon", "bad.ico\" cannot be used: it is not an icon file (no .ico header)"},
         " --icon '" + product().string() + "/bad.ico'"},
        // Icons are refused at once when they list more images than Windows
        // uses or images that overlap or repeat; the message names the icon.
        {"icon listing one 64 KiB image 65,535 times",
         [](const fs::path& r) {
             WriteFile(r / "bad.ico",
                       IconListing(std::vector<std::pair<std::uint32_t, std::uint32_t>>(65535, {0, 65536}),
                                   Bitmap(65536, 'x')));
         },
         1,
         {"bad.ico\" cannot be used: its directory lists 65535 images, more than the 128 an icon needs"},
         " --icon '" + product().string() + "/bad.ico'"},
        {"icon of 129 images",
         [](const fs::path& r) { WriteFile(r / "bad.ico", DistinctImages(129)); },
         1,
         {"bad.ico\" cannot be used: its directory lists 129 images, more than the 128"},
         " --icon '" + product().string() + "/bad.ico'"},
        {"icon of 128 images",
         [](const fs::path& r) { WriteFile(r / "many.ico", DistinctImages(128)); },
         0,
         {},
         " --icon '" + product().string() + "/many.ico'"},
        {"icon naming one image twice",
         [](const fs::path& r) {
             WriteFile(r / "bad.ico", IconListing({{0, 64}, {64, 64}, {0, 64}}, Bitmap(64, 'a') + Bitmap(64, 'b')));
         },
         1,
         {"bad.ico\" cannot be used: images 1 and 3 overlap in the file; each image needs bytes of its own"},
         " --icon '" + product().string() + "/bad.ico'"},
        {"icon whose images overlap",
         [](const fs::path& r) {
             WriteFile(r / "bad.ico", IconListing({{0, 100}, {50, 100}}, Bitmap(50, 'a') + Bitmap(100, 'b')));
         },
         1,
         {"images 1 and 2 overlap in the file"},
         " --icon '" + product().string() + "/bad.ico'"},
        {"icon repeating an image",
         [](const fs::path& r) {
             WriteFile(r / "bad.ico", IconListing({{0, 64}, {64, 64}}, Bitmap(64, 'a') + Bitmap(64, 'a')));
         },
         1,
         {"bad.ico\" cannot be used: images 1 and 2 are the same image; list each image once"},
         " --icon '" + product().string() + "/bad.ico'"},
        {"icon image beyond the end",
         [](const fs::path& r) {
             WriteFile(r / "bad.ico", IconListing({{0, 64}, {64, 65}}, Bitmap(64, 'a') + Bitmap(64, 'b')));
         },
         1,
         {"bad.ico\" cannot be used: image 2 lies beyond the file's end"},
         " --icon '" + product().string() + "/bad.ico'"},
        {"icon without images",
         [](const fs::path& r) { WriteFile(r / "bad.ico", IconListing({}, "")); },
         1,
         {"bad.ico\" cannot be used: its directory lists no image"},
         " --icon '" + product().string() + "/bad.ico'"},
        {"icon larger than any icon",
         [](const fs::path& r) {
             WriteFile(r / "bad.ico", IconListing({{0, 41 << 20}}, Bitmap(64, 'a')));
             fs::resize_file(r / "bad.ico", 6 + 16 + (41 << 20));  // sparse: refused before it is read
         },
         1,
         {"bad.ico\" cannot be used: it is larger than the 40 MiB an icon of every size"},
         " --icon '" + product().string() + "/bad.ico'"},
        // DefaultInstallDir under setup.exe's destination rules: a folder every
        // quiet run without /dir would refuse with 1603.
        {"DefaultInstallDir a bare drive",
         IniLine(3, "DefaultInstallDir=C:\\"),
         1,
         {"error: setup.ini line 3 ([Setup] DefaultInstallDir): DefaultInstallDir \"C:\\\" is a drive, Program Files "
          "or a user profile folder itself; setup.exe refuses it as the install folder, so every quiet run without "
          "/dir would end with 1603; write a folder of the product's own, e.g. %ProgramFiles%\\製品"}},
        {"DefaultInstallDir in the Windows folder",
         IniLine(3, "DefaultInstallDir=C:\\Windows\\App"),
         1,
         {"DefaultInstallDir \"C:\\Windows\\App\" lies in the Windows folder; setup.exe refuses it"}},
        {"DefaultInstallDir Program Files itself",
         IniLine(3, "DefaultInstallDir=C:\\Program Files"),
         1,
         {"DefaultInstallDir \"C:\\Program Files\" is a drive, Program Files or a user profile folder itself"}},
        {"relative DefaultInstallDir",
         IniLine(3, "DefaultInstallDir=Programs\\App"),
         1,
         {"error: setup.ini line 3 ([Setup] DefaultInstallDir): DefaultInstallDir \"Programs\\App\" is not a full "
          "path on a drive; setup.exe refuses it"}},
        // AppVersion values setup.exe's version resource cannot hold.
        {"AppVersion empty",
         IniLine(3, "AppVersion="),
         1,
         {"error: setup.ini line 3 ([Setup] AppVersion): AppVersion \"\" is empty, but setup.exe's version resource "
          "(the version Explorer shows) holds one to four numbers of at most 65535 each"}},
        {"AppVersion of five numbers",
         IniLine(3, "AppVersion=1.0.0.0.1"),
         1,
         {"line 3 ([Setup] AppVersion): AppVersion \"1.0.0.0.1\" has 5 numbers, but setup.exe's version resource"}},
        {"AppVersion with a number over 65535",
         IniLine(3, "AppVersion=70000.1"),
         1,
         {"line 3 ([Setup] AppVersion): AppVersion \"70000.1\" has the number 70000, but"}},
        // The licence file: a misspelt key is named with its line.
        {"LicenceFile for LicenseFile",
         IniLine(5, "LicenceFile=License.txt"),
         1,
         {"error: setup.ini line 5 ([Setup] LicenceFile): [Setup] has no LicenseFile; did you mean LicenseFile?"}},
        // [Files] values whose shape shows why they select nothing.
        {"[Files] names a folder",
         FilesValue("plugins"),
         1,
         {"error: setup.ini line 8 ([Files] File2): \"plugins\" selects no file below files/: it names a folder, "
          "and a value without * selects one file; write plugins\\*"}},
        {"[Files] value with a leading separator",
         FilesValue("/plugins/*"),
         1,
         {"\"/plugins/*\" selects no file below files/: a leading \\ or / leads nowhere, since values are relative "
          "to files/; write plugins/*"}},
        {"[Files] value climbing out",
         FilesValue("..\\plugins\\*"),
         1,
         {"\"..\\plugins\\*\" selects no file below files/: values cannot reach outside files/ with \"..\"; write "
          "plugins\\*"}},
        {"[Files] value in quotes",
         FilesValue("\"ドキュメント\\*\""),
         1,
         {"\"\"ドキュメント\\*\"\" selects no file below files/: [Files] keeps quotes as part of the value; write "
          "ドキュメント\\*"}},
        {"stub is a folder",
         nullptr,
         1,
         {"is a folder; pass the InstallerCore.exe file with --stub"},
         " --stub '" + dir_.path().string() + "'"},
        // Warnings: built, exit 0.
        {"unknown section",
         IniAdd("[Fiels]\nFile9=x\n"),
         0,
         {"warning: setup.ini line 13: unknown section \"[Fiels]\" is ignored; did you mean [Files]?"}},
        {"unknown key",
         IniLine(3, "AppVerison=2.5"),
         0,
         {"warning: setup.ini line 3 ([Setup] AppVerison): unknown key \"AppVerison\" is ignored; did you mean "
          "AppVersion?"}},
        {"unselected file",
         [](const fs::path& r) { WriteFile(r / "files/Notes.txt", "x"); },
         0,
         {"warning: 1 file below files/ is selected by no [Files] pattern and never installed: \"Notes.txt\""}},
        {"unparsable AppVersion",
         IniLine(3, "AppVersion=2.5-beta"),
         0,
         {"warning: setup.ini line 3 ([Setup] AppVersion): AppVersion \"2.5-beta\" is not a dotted number"}},
        {"licence in Shift_JIS",
         [](const fs::path& r) { WriteFile(r / "License.txt", "\x8E\x67\x97\x70\x8B\x96\x91\xF8\r\n"); },
         0,
         {"warning: the licence file \"License.txt\" is neither UTF-8 nor UTF-16LE with a byte-order mark (a legacy "
          "code page such as Shift_JIS?), so the wizard shows replacement characters wherever its bytes are not "
          "UTF-8; save it as UTF-8 or as UTF-16LE with a byte-order mark"}},
        {"licence in Shift_JIS with --strict",
         [](const fs::path& r) { WriteFile(r / "License.txt", "\x8E\x67\x97\x70\x8B\x96\x91\xF8\r\n"); },
         1,
         {"error: the licence file \"License.txt\" is neither UTF-8 nor UTF-16LE",
          "error: the warnings above refuse the build (--strict)"},
         " --strict"},
        {"licence in UTF-16 without its mark",
         [](const fs::path& r) { WriteFile(r / "License.txt", std::string("T\0e\0r\0m\0s\0", 10)); },
         0,
         {"warning: the licence file \"License.txt\" holds NUL characters (UTF-16 without a byte-order mark?)"}},
        {"licence in UTF-16 big-endian",
         [](const fs::path& r) { WriteFile(r / "License.txt", std::string("\xFE\xFF\0T\0e", 6)); },
         0,
         {"warning: the licence file \"License.txt\" is UTF-16 big-endian"}},
        {"a line without =",
         IniLine(12, "com\\Lib.dll"),
         0,
         {"warning: setup.ini line 12: the line \"com\\Lib.dll\" in [System32RegSvr] has no \"=\" and is ignored"}},
        {"empty ShortcutName",
         IniLine(2, "ShortcutName="),
         0,
         {"warning: setup.ini line 2 ([Setup] ShortcutName): ShortcutName is empty, so no desktop shortcut is made"}},
        {"no .exe in [Files]", IniLine(7, "File1=App.*"), 0, {"warning: no [Files] value ends in .exe"}},
        // --strict turns a warning into a refusal.
        {"unknown key with --strict",
         IniLine(3, "AppVerison=2.5"),
         1,
         {"error: setup.ini line 3 ([Setup] AppVerison): unknown key",
          "error: the warnings above refuse the build (--strict); nothing was written"},
         " --strict"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(product());
        fs::remove_all(dir_.path() / "elsewhere");
        fs::remove(output());
        MakeProduct(product());
        if (c.change) c.change(product());
        EXPECT_EQ(Run(Args() + c.extraArgs), c.exit) << Stderr();
        for (const std::string& message : c.messages) EXPECT_THAT(Stderr(), HasSubstr(message));
        EXPECT_LT(Stderr().size(), 2000u) << "messages quote long values by their start";
        EXPECT_EQ(Stderr().find('\x1B'), std::string::npos) << "control characters reach the terminal escaped";
        EXPECT_EQ(fs::exists(output()), c.exit == 0);
        if (c.exit != 0) {
            EXPECT_TRUE(fs::is_empty(dir_.path() / "out"));
        }
    }
}

// DefaultInstallDir may hold variables setup.exe expands when it runs. The
// machine folders are expanded with their usual values and the result checked
// with setup.exe's destination rules: what they refuse is an error. A name
// setup.exe takes from its environment leaves the folder to the target, with a
// warning, as does a variable glued to the name after it. Paths below it are
// measured with the usual values.
TEST_F(BuilderCliTest, DefaultInstallDirMayStartWithAVariable) {
    const std::string place = "setup.ini line 3 ([Setup] DefaultInstallDir): DefaultInstallDir ";
    const struct {
        const char* value;
        int exit;             // 0: built (with the warning, if any), 1: refused
        std::string message;  // empty: nothing about DefaultInstallDir
    } cases[] = {
        {"%ProgramFiles%\\Zel\\App", 0, ""},
        {"%programfiles(x86)%/Zel", 0, ""},
        {"%SystemDrive%\\Apps\\Zel", 0, ""},
        {"C:\\Users\\Public\\Zel", 0, ""},
        {"%LocalAppData%\\Zel", 0,
         "warning: " + place +
             "\"%LocalAppData%\\Zel\" starts with %LocalAppData%, which is not one of the machine folders "
             "setup.exe fills in (%ProgramFiles%, %ProgramW6432%, %ProgramFiles(x86)%"},
        {"C:\\Apps\\%USERNAME%\\Zel", 0,
         "warning: " + place + "\"C:\\Apps\\%USERNAME%\\Zel\" holds %USERNAME%, which is not one of the machine"},
        {"%ProgramFiles%Zel", 0,
         "warning: " + place + "\"%ProgramFiles%Zel\": %ProgramFiles% ends without a separator"},
        {"%ProgramW6432%", 1,
         "error: " + place +
             "\"%ProgramW6432%\" (\"C:\\Program Files\" on a standard Windows) is a drive, Program Files or a user "
             "profile folder itself"},
        {"%SystemDrive%\\Windows\\Zel", 1,
         place + "\"%SystemDrive%\\Windows\\Zel\" (\"C:\\Windows\\Zel\" on a standard Windows) lies in the Windows "
                 "folder"},
        {"C:\\Users\\zel", 1, place + "\"C:\\Users\\zel\" is a drive, Program Files or a user profile folder itself"},
        {"%ProgramFiles%\\100%\\Zel", 1,
         place + "\"%ProgramFiles%\\100%\\Zel\" (\"C:\\Program Files\\100%\\Zel\" on a standard Windows) holds a % "
                 "sign outside the variables setup.exe fills in (in \"100%\")"},
        {"C:\\Apps\\50%", 1, place + "\"C:\\Apps\\50%\" holds a % sign outside the variables setup.exe fills in"},
        {"\\\\server\\share\\Zel", 1, place + "\"\\\\server\\share\\Zel\" is a network path; setup.exe refuses it"},
        {"C:\\Apps\\CON\\Zel", 1,
         place + "\"C:\\Apps\\CON\\Zel\" holds the name \"CON\", which Windows cannot give a folder; setup.exe "
                 "refuses it as the install folder, so every quiet run without /dir would end with 1603; choose "
                 "another name"},
        {"Programs\\App", 1,
         place + "\"Programs\\App\" is not a full path on a drive; setup.exe refuses it as the install folder, so "
                 "every quiet run without /dir would end with 1603; write it with its drive or start it with a "
                 "variable, e.g. %ProgramFiles%\\製品"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        fs::remove_all(product());
        fs::remove(output());
        MakeProduct(product());
        IniLine(3, std::string("DefaultInstallDir=") + c.value)(product());
        EXPECT_EQ(Run(Args()), c.exit) << Stderr();
        if (c.message.empty()) {
            EXPECT_THAT(Stderr(), ::testing::Not(HasSubstr("DefaultInstallDir"))) << Stderr();
        } else {
            EXPECT_THAT(Stderr(), HasSubstr(c.message));
        }
    }

    // The longest folder setup.exe takes leaves room for "\Uninstall.exe".
    for (const auto& [length, exit] : {std::pair{245, 0}, std::pair{246, 1}}) {
        fs::remove_all(product());
        MakeProduct(product());
        // Only App.exe is installed, so that every installed path stays short enough.
        WriteFile(product() / "setup.ini", "[Setup]\nAppName=製品\nDefaultInstallDir=C:\\" +
                                               std::string(length - 3, 'd') +
                                               "\nLicenseFile=License.txt\n[Files]\nFile1=App.exe\n");
        EXPECT_EQ(Run(Args()), exit) << Stderr();
        if (exit != 0) {
            EXPECT_THAT(Stderr(), HasSubstr("is 246 characters long, over the 245 that leave room for its "
                                            "Uninstall.exe"));
        }
    }

    // 16 characters for %ProgramFiles%, not its 14: one file name that fits
    // only when the variable is measured by its name is refused.
    fs::remove_all(product());
    MakeProduct(product());
    IniLine(3, "DefaultInstallDir=%ProgramFiles%\\Z")(product());
    const std::string name(259 - 16 - 2 - 1 - 4 + 1, 'n');  // "C:\Program Files\Z\Doc\" + name: 260
    WriteFile(product() / "files/Doc" / name, "x");
    EXPECT_EQ(Run(Args()), 1);
    EXPECT_THAT(Stderr(), HasSubstr("its path is 260 characters long, over the 259 Windows allows"));
}

TEST_F(BuilderCliTest, RefusesToWriteOverItsInputsOrIntoMissingFolders) {
    const std::vector<std::uint8_t> app = test::ReadBytes(product() / "files/App.exe");
    struct Case {
        fs::path out;
        std::string message;
    };
    const Case cases[] = {
        {product() / "files/App.exe", "is the product's files/App.exe, which the build reads"},
        {product() / "License.txt", "is the product's License.txt, which the build reads"},
        {product() / "setup.ini", "is the product's setup.ini"},
        {stub(), "is the stub"},
        {product() / "files/setup.exe", "lies inside the product's files/ folder"},
        {dir_.path() / "missing/setup.exe", "that the output \"setup.exe\" goes into does not exist; create it first"},
        {dir_.path() / "out", "is a folder; name the file to write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out.string());
        EXPECT_EQ(Run(Args(c.out)), 1);
        EXPECT_THAT(Stderr(), HasSubstr(c.message));
    }
    EXPECT_EQ(test::ReadBytes(product() / "files/App.exe"), app);
    EXPECT_EQ(test::ReadBytes(stub()), StubBytes());
    EXPECT_FALSE(fs::exists(product() / "files/setup.exe"));
}

TEST_F(BuilderCliTest, UnreadableFolderIsNamed) {
    // Root reads every folder: as root the builder runs as nobody, with
    // everything else it needs open to others.
    std::string runAs;
    if (geteuid() == 0) {
        if (std::system("command -v setpriv >/dev/null 2>&1") != 0) GTEST_SKIP() << "root, and no setpriv";
        runAs = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        const fs::perms open = fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(dir_.path(), open, fs::perm_options::add);
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
            fs::permissions(entry.path(), open, fs::perm_options::add);
        }
        fs::permissions(dir_.path() / "out", fs::perms::all, fs::perm_options::add);
    }
    fs::permissions(product() / "files/Doc", fs::perms::none);
    const int exit = test::RunBuilder(Args(), dir_.path() / "stdout", dir_.path() / "stderr", runAs);
    fs::permissions(product() / "files/Doc", fs::perms::owner_all);
    EXPECT_EQ(exit, 1);
    EXPECT_THAT(Stderr(), HasSubstr("error: cannot read the folder \"" + (product() / "files/Doc").string() + "\""));
    EXPECT_TRUE(fs::is_empty(dir_.path() / "out"));
}

TEST_F(BuilderCliTest, IdentityReadsBackInAnIndependentReaderAndStaysReproducible) {
    if (!test::HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
    WriteFile(product() / "product.ico", IconFile());
    const std::string args = Args() + " --icon '" + (product() / "product.ico").string() + "'";
    ASSERT_EQ(Run(args), 0) << Stderr();
    const std::vector<std::uint8_t> first = test::ReadBytes(output());
    const std::string builder(BuilderVersion());
    const std::string check = test::Python3() + " " ZEL_SOURCE_DIR "/tests/native/builder/check_identity.py '" +
                              output().string() + "' '" + stub().string() + "' '" +
                              (product() / "product.ico").string() +
                              "' ProductName=製品 'CompanyName=Zel 株式会社' ProductVersion=2.5.1.7 "
                              "FileVersion=2.5.1.7 'FileDescription=製品 セットアップ' OriginalFilename=setup.exe "
                              "InstallerBuilderVersion=" +
                              builder + " FIXED=2.5.1.7";
    EXPECT_EQ(std::system(check.c_str()), 0);

    ASSERT_EQ(Run(args), 0);
    EXPECT_EQ(test::ReadBytes(output()), first);

    // Without --icon the stub's icon stays.
    ASSERT_EQ(Run(Args()), 0);
    const std::string keep = test::Python3() + " " ZEL_SOURCE_DIR "/tests/native/builder/check_identity.py '" +
                             output().string() + "' '" + stub().string() + "' - ProductName=製品";
    EXPECT_EQ(std::system(keep.c_str()), 0);
}

TEST_F(BuilderCliTest, ListOfTheProductFolderAndOfItsSetupExeAgree) {
    ASSERT_EQ(Run(Args()), 0) << Stderr();
    ASSERT_EQ(Run("--list '" + product().string() + "'"), 0) << Stderr();
    const std::string folder = Stdout();
    ASSERT_EQ(Run("--list '" + output().string() + "'"), 0) << Stderr();
    const std::string exe = Stdout();
    EXPECT_THAT(exe, HasSubstr("made by: InstallerBuilder " + std::string(BuilderVersion()) + "\n"));
    // What an install copies, the system folder and setup.ini are listed alike.
    const auto body = [](const std::string& text) { return text.substr(text.find("installs: ")); };
    EXPECT_EQ(body(folder), body(exe));
    EXPECT_THAT(folder, HasSubstr("compression: none (the default; [Setup] Compression chooses)\n"));
    EXPECT_THAT(folder, HasSubstr("payload: 5 entries, "));
    // How setup.exe holds each entry.
    EXPECT_THAT(exe, HasSubstr("payload: 5 entries, "));
    EXPECT_THAT(exe, HasSubstr(" blocks as "));
    EXPECT_THAT(exe, HasSubstr("format version 1)\n"
                               "  method          stored      original  name\n"
                               "  stored               7             7  License.txt\n"
                               "  stored               6             6  files/App.exe\n"));
    EXPECT_THAT(folder, HasSubstr(" bytes\n"
                                  "             7  License.txt\n"
                                  "             6  files/App.exe\n"
                                  "             4  files/Doc/Manual.pdf\n"
                                  "             6  files/com/Lib.dll\n"));
    EXPECT_THAT(folder, HasSubstr("installs: 2 files selected by [Files], below the install folder\n"
                                  "  App.exe\n"
                                  "  Doc\\Manual.pdf\n"
                                  "system folder: 1 files from [System32RegSvr]\n"
                                  "  files\\com\\Lib.dll\n"
                                  "setup.ini:\n"
                                  "  [Setup]\n"
                                  "  AppName=製品\n"));
    // --list writes nothing.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path() / "out"), fs::directory_iterator()), 1);

    // A compressed setup.exe lists the same installs, and its method and sizes.
    test::WriteFile(product() / "files/Doc/Manual.pdf", std::string(5000, 'm'));
    ASSERT_EQ(Run(Args() + " --compression=deflate"), 0) << Stderr();
    EXPECT_THAT(Stdout(), HasSubstr(" (payload deflate: "));
    ASSERT_EQ(Run("--list '" + output().string() + "'"), 0) << Stderr();
    const std::string compressed = Stdout();
    EXPECT_EQ(body(compressed), body(exe));
    EXPECT_THAT(compressed, HasSubstr("format version 2)\n"));
    EXPECT_THAT(compressed, ::testing::ContainsRegex("\n  deflate +[0-9]+          5000  files/Doc/Manual.pdf\n"));
    EXPECT_THAT(compressed, HasSubstr("\n  stored               6             6  files/App.exe\n"));
    EXPECT_EQ(Run(Args() + " --compression=zip"), 2);
    EXPECT_THAT(Stderr(), HasSubstr("--compression zip names no method; use one of none, deflate"));

    EXPECT_EQ(Run("--list '" + stub().string() + "'"), 1);
    EXPECT_THAT(Stderr(), HasSubstr("has no payload (RT_RCDATA 101)"));
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(Stdout(), "InstallerBuilder " + std::string(BuilderVersion()) + "\n");
}

// A setup.exe made by anyone may name its entries anything: --list shows what
// a terminal would act on (a title change, a screen clear, a C1 CSI) escaped.
TEST_F(BuilderCliTest, ListShowsHostileEntryNamesEscaped) {
    const std::string placeholder(16, 'Q');
    const std::string hostile = "\x1B]0;pwned\x07\x1B[2J\xC2\x9B";
    ASSERT_EQ(hostile.size(), placeholder.size());
    WriteFile(product() / "files/Doc" / placeholder, "x");
    ASSERT_EQ(Run(Args()), 0) << Stderr();
    std::string bytes = test::Bytes(test::ReadBytes(output()));
    const std::size_t at = bytes.find(placeholder);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bytes.find(placeholder, at + 1), std::string::npos) << "only the directory names it";
    bytes.replace(at, hostile.size(), hostile);
    WriteFile(output(), bytes);

    ASSERT_EQ(Run("--list '" + output().string() + "'"), 0) << Stderr();
    const std::string escaped = "\\x1B]0;pwned\\x07\\x1B[2J\\u009B";
    EXPECT_THAT(Stdout(), HasSubstr("  files/Doc/" + escaped + "\n"));
    EXPECT_THAT(Stdout(), HasSubstr("  Doc\\" + escaped + "\n"));
    for (const char raw : {'\x1B', '\x07'}) EXPECT_EQ(Stdout().find(raw), std::string::npos);
    EXPECT_EQ(Stdout().find("\xC2\x9B"), std::string::npos);
}

}  // namespace
}  // namespace zel
