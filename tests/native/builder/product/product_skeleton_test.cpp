// InstallerBuilder --init: the new product folder it writes, the refusal to
// build it while placeholders remain (build and --list alike), the build once
// they are filled, and that it never writes over anything.
#include "builder/product/product_skeleton.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "config/ini_document.h"
#include "native/builder/test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::string ReadText(const fs::path& path) { return test::Bytes(test::ReadBytes(path)); }

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class InitTest : public ::testing::Test {
protected:
    int Run(const std::string& args) { return test::RunBuilder(args, dir_ / "stdout", dir_ / "stderr"); }
    std::string Stderr() const { return ReadText(dir_ / "stderr"); }
    std::string Quoted(const fs::path& path) const { return "'" + path.string() + "'"; }
    std::string Build(const fs::path& product, const std::string& extra = {}) const {
        return Quoted(product) + " -o " + Quoted(dir_ / "setup.exe") + " --stub " + Quoted(dir_ / "stub.exe") + extra;
    }

    test::ScratchFolder dir_{L"init"};
};

TEST_F(InitTest, RefusedUntilThePlaceholdersAreFilledThenBuilds) {
    test::WriteBytes(dir_ / "stub.exe", test::MakeTestPe(true));
    const fs::path product = dir_ / "new/Product";  // the parent is made too
    ASSERT_EQ(Run("--init " + Quoted(product)), 0) << Stderr();
    EXPECT_TRUE(fs::is_directory(product / "files"));
    EXPECT_TRUE(fs::is_empty(product / "files"));

    // The build and --list refuse alike, naming each placeholder.
    for (const std::string& args : {Build(product), "--list " + Quoted(product)}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Run(args), 1);
        const std::string text = Stderr();
        EXPECT_THAT(text, HasSubstr("placeholders"));
        for (const char* place :
             {"([Setup] AppName)", "([Setup] Publisher)", "([Setup] DefaultInstallDir)", "License.txt line 1"}) {
            EXPECT_THAT(text, HasSubstr(place));
        }
        EXPECT_FALSE(fs::exists(dir_ / "setup.exe"));
    }

    // One left is still refused, and named alone.
    std::string ini = ReadText(product / "setup.ini");
    ini = Replaced(ini, "<replace: the product's name>", "ゼル ノート");
    ini = Replaced(ini, "<replace: the publisher's name>", "Zel");
    test::WriteFile(product / "setup.ini", ini);
    EXPECT_EQ(Run(Build(product)), 1);
    EXPECT_THAT(Stderr(), HasSubstr("([Setup] DefaultInstallDir)"));
    EXPECT_THAT(Stderr(), Not(HasSubstr("AppName")));

    // Filled in, with a program to install: builds, without a single warning.
    test::WriteFile(product / "setup.ini", Replaced(Replaced(ini, "<replace: the product's folder name>", "Zel Notes"),
                                                    ";File1=App.exe", "File1=App.exe"));
    test::WriteFile(product / "License.txt", "Terms of use.\r\n");
    test::WriteFile(product / "files/App.exe", "MZ app");
    EXPECT_EQ(Run(Build(product, " --strict")), 0) << Stderr();
    EXPECT_TRUE(fs::exists(dir_ / "setup.exe"));
}

TEST_F(InitTest, NeverWritesOverAnything) {
    const struct {
        const char* name;
        std::function<void(const fs::path&)> arrange;
    } cases[] = {
        {"an empty folder", [](const fs::path& p) { fs::create_directory(p); }},
        {"a product folder", [](const fs::path& p) { test::WriteFile(p / "setup.ini", "[Setup]\nAppName=Mine\n"); }},
        {"a file", [](const fs::path& p) { test::WriteFile(p, "mine"); }},
        {"a link to nowhere", [](const fs::path& p) { fs::create_symlink(p.parent_path() / "nowhere", p); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = dir_ / "taken";
        fs::remove_all(target);
        c.arrange(target);
        const auto before = fs::symlink_status(target).type();
        const std::string iniBefore = fs::exists(target / "setup.ini") ? ReadText(target / "setup.ini") : "";
        EXPECT_EQ(Run("--init " + Quoted(target)), 1);
        EXPECT_THAT(Stderr(), HasSubstr("already exists"));
        EXPECT_EQ(fs::symlink_status(target).type(), before);
        if (!iniBefore.empty()) {
            EXPECT_EQ(ReadText(target / "setup.ini"), iniBefore);
        } else if (fs::is_directory(target)) {
            EXPECT_TRUE(fs::is_empty(target));
        }
        EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
    }
    EXPECT_EQ(Run("--init"), 2);
    EXPECT_EQ(Run("--init " + Quoted(dir_ / "a") + " -o x.exe"), 2);
    EXPECT_FALSE(fs::exists(dir_ / "a"));
}

// The skeleton documents every [Setup] key (active or commented out), and its
// setup.ini and licence are UTF-8 with a byte-order mark and CR LF line ends,
// as Windows editors keep Japanese text intact.
TEST(ProductSkeletonTest, DocumentsEveryKey) {
    const std::string ini = SkeletonSetupIni();
    for (const std::string& text : {ini, SkeletonLicense()}) {
        EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF"));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
    }
    for (const char* key : {"AppName", "AppVersion", "ProgramsDisplayName", "DisplayVersion", "ProductVersion",
                            "Publisher", "SupportUrl", "HelpUrl", "UpdateUrl", "DefaultInstallDir", "ShortcutName",
                            "StartMenuGroupName", "LicenseFile", "Compression"}) {
        EXPECT_TRUE(ini.find("\n" + std::string(key) + "=") != std::string::npos ||
                    ini.find("\n;" + std::string(key) + "=") != std::string::npos)
            << key;
    }
    const std::vector<std::uint8_t> bytes(ini.begin(), ini.end());
    const IniDocument document = IniDocument::Parse(bytes);
    for (const char* section : {"Setup", "Files", "StartMenuItems", "System32RegSvr"}) {
        EXPECT_TRUE(document.HasSection(std::wstring(section, section + std::strlen(section)))) << section;
    }
}

}  // namespace
}  // namespace zel
