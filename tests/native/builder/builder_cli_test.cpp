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
          "path separator"}},
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
         {"error: the icon", "bad.ico\" cannot be used: it is not an icon file"},
         " --icon '" + product().string() + "/bad.ico'"},
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
        {"relative DefaultInstallDir",
         IniLine(3, "DefaultInstallDir=Programs\\App"),
         0,
         {"warning: setup.ini line 3 ([Setup] DefaultInstallDir): DefaultInstallDir \"Programs\\App\" is not a full "
          "path; write it with its drive"}},
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
        EXPECT_EQ(fs::exists(output()), c.exit == 0);
        if (c.exit != 0) {
            EXPECT_TRUE(fs::is_empty(dir_.path() / "out"));
        }
    }
}

// DefaultInstallDir may start with a variable setup.exe expands when it runs:
// a machine folder passes even --strict; a name it takes from its environment,
// a name glued to the folder after it and a % sign setup.exe would refuse are
// warned about. Paths below it are measured with the variable's usual value.
TEST_F(BuilderCliTest, DefaultInstallDirMayStartWithAVariable) {
    const std::string place = "setup.ini line 3 ([Setup] DefaultInstallDir): DefaultInstallDir ";
    const struct {
        const char* value;
        std::string warning;  // empty: none about DefaultInstallDir
    } cases[] = {
        {"%ProgramFiles%\\Zel\\App", ""},
        {"%programfiles(x86)%/Zel", ""},
        {"%SystemDrive%\\Apps\\Zel", ""},
        {"%ProgramW6432%", ""},
        {"%LocalAppData%\\Zel",
         place + "\"%LocalAppData%\\Zel\" starts with %LocalAppData%, which is not one of the machine folders "
                 "setup.exe fills in (%ProgramFiles%, %ProgramW6432%, %ProgramFiles(x86)%"},
        {"%ProgramFiles%Zel", place + "\"%ProgramFiles%Zel\": %ProgramFiles% ends without a separator"},
        {"%ProgramFiles%\\100%\\Zel",
         place + "\"%ProgramFiles%\\100%\\Zel\" holds a % sign outside a leading variable"},
        {"C:\\Apps\\50%", place + "\"C:\\Apps\\50%\" holds a % sign outside a leading variable"},
        {"Programs\\App", place + "\"Programs\\App\" is not a full path; write it with its drive or start it "
                                  "with a variable, e.g. C:\\Program Files\\製品 or %ProgramFiles%\\製品"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        fs::remove_all(product());
        fs::remove(output());
        MakeProduct(product());
        IniLine(3, std::string("DefaultInstallDir=") + c.value)(product());
        EXPECT_EQ(Run(Args() + " --strict"), c.warning.empty() ? 0 : 1) << Stderr();
        if (c.warning.empty()) {
            EXPECT_THAT(Stderr(), ::testing::Not(HasSubstr("DefaultInstallDir"))) << Stderr();
        } else {
            EXPECT_THAT(Stderr(), HasSubstr(c.warning));
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

}  // namespace
}  // namespace zel
