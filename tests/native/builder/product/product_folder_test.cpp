#include "builder/product/product_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "native/builder/test_support.h"
#include "util/unicode.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;

constexpr const char* kIni = "[Setup]\nAppName=App\nLicenseFile=License.txt\n[Files]\nFile1=App.exe\nFile2=Doc\\*\n";

class ProductFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(root() / "setup.ini", kIni);
        WriteFile(root() / "License.txt", "Terms.\n");
        WriteFile(root() / "files/App.exe", "MZ");
        WriteFile(root() / "files/Doc/Manual.pdf", "%PDF");
    }
    fs::path root() const { return dir_.path(); }
    std::vector<std::string> Names(const ProductPlan& plan) const {
        std::vector<std::string> names;
        for (const ProductItem& item : plan.items) names.push_back(item.name);
        return names;
    }

    test::ScratchFolder dir_{L"builder"};
};

TEST_F(ProductFolderTest, ListsSetupIniLicenceAndFilesSortedByName) {
    WriteFile(root() / "files/Doc/sub/b.txt", "");
    WriteFile(root() / "files/日本語.txt", "x");
    WriteFile(root() / "notes.txt", "not part of the product");
    const ProductPlan plan = ReadProductFolder(root());
    EXPECT_THAT(Names(plan), ::testing::ElementsAre("License.txt", "files/App.exe", "files/Doc/Manual.pdf",
                                                    "files/Doc/sub/b.txt", "files/日本語.txt", "setup.ini"));
    EXPECT_THAT(plan.installs, ::testing::ElementsAre(L"App.exe", L"Doc\\Manual.pdf", L"Doc\\sub\\b.txt"));
    EXPECT_THAT(plan.warnings,
                ::testing::ElementsAre("1 file below files/ is selected by no [Files] pattern and never installed: "
                                       "\"日本語.txt\"; add a pattern for them or remove them"));
    EXPECT_EQ(plan.items[1].size, 2u);
    EXPECT_EQ(plan.items[3].size, 0u);
}

TEST_F(ProductFolderTest, StoresSetupIniAsUtf16LeWithMark) {
    const std::string text = "[Setup]\r\nAppName=製品\r\nLicenseFile=License.txt\r\n";
    std::vector<std::uint8_t> expected = {0xFF, 0xFE};
    const std::vector<std::uint8_t> utf16 = EncodeUtf16Le(Utf8ToWide(text));
    expected.insert(expected.end(), utf16.begin(), utf16.end());
    for (const std::string& input : {text, "\xEF\xBB\xBF" + text, std::string(expected.begin(), expected.end())}) {
        WriteFile(root() / "setup.ini", input);
        const ProductPlan plan = ReadProductFolder(root());
        const ProductItem& ini = plan.items.back();
        ASSERT_EQ(ini.name, "setup.ini");
        EXPECT_TRUE(ini.source.empty());
        EXPECT_EQ(ini.data, expected);
        EXPECT_EQ(ini.size, expected.size());
    }
}

TEST_F(ProductFolderTest, LicenceBelowFilesIsListedOnce) {
    fs::remove(root() / "License.txt");
    WriteFile(root() / "files/License.txt", "Terms.");
    WriteFile(root() / "setup.ini", "[Setup]\nLicenseFile=files\\License.txt\n[Files]\nFile1=App.exe\nFile2=*\n");
    const ProductPlan plan = ReadProductFolder(root());
    EXPECT_THAT(Names(plan),
                ::testing::ElementsAre("files/App.exe", "files/Doc/Manual.pdf", "files/License.txt", "setup.ini"));
    EXPECT_TRUE(plan.warnings.empty());
}

TEST_F(ProductFolderTest, WarnsWhenAFileIsHiddenByTheLicenceRule) {
    WriteFile(root() / "files/License.txt", "another");
    const ProductPlan plan = ReadProductFolder(root());
    ASSERT_EQ(plan.warnings.size(), 1u);
    EXPECT_THAT(plan.warnings[0], ::testing::HasSubstr("\"files/License.txt\" is never installed"));
}

TEST_F(ProductFolderTest, FollowsLinksToFiles) {
    fs::create_symlink(root() / "files/App.exe", root() / "files/Link.exe");
    const ProductPlan plan = ReadProductFolder(root());
    EXPECT_THAT(Names(plan), ::testing::Contains("files/Link.exe"));
}

TEST_F(ProductFolderTest, RefusesWithAMessageNamingTheProblem) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> change;
        const char* message;
    };
    auto ini = [](std::string text) { return [text](const fs::path& r) { WriteFile(r / "setup.ini", text); }; };
    auto licence = [](std::string bytes) {
        return [bytes](const fs::path& r) { WriteFile(r / "License.txt", bytes); };
    };
    const Case cases[] = {
        {"no setup.ini", [](const fs::path& r) { fs::remove(r / "setup.ini"); }, "no setup.ini"},
        {"setup.ini in Shift_JIS", ini("[Setup]\nAppName=\x83\x65\x83\x58\x83\x67\n"), "neither valid UTF-8"},
        {"setup.ini UTF-16BE", ini("\xFE\xFF\0[\0S"), "big-endian"},
        {"setup.ini UTF-16 without mark", ini(std::string("[\0S\0]\0", 6)), "NUL characters"},
        {"setup.ini UTF-16 odd length", ini(std::string("\xFF\xFE[\0S", 5)), "odd number of bytes"},
        {"no LicenseFile", ini("[Setup]\nAppName=App\n"), "[Setup] has no LicenseFile"},
        {"empty LicenseFile", ini("[Setup]\nLicenseFile=\n"), "line 2 ([Setup] LicenseFile): LicenseFile is empty"},
        {"absolute LicenseFile", ini("[Setup]\nLicenseFile=/etc/passwd\n"), "must be a relative path"},
        {"drive LicenseFile", ini("[Setup]\nLicenseFile=C:\\License.txt\n"), "must be a relative path"},
        {"LicenseFile with ..", ini("[Setup]\nLicenseFile=..\\License.txt\n"), "must be a relative path"},
        {"LicenseFile too long", ini("[Setup]\nLicenseFile=" + std::string(512, 'a') + "\n"), "longer than 511"},
        {"licence missing", [](const fs::path& r) { fs::remove(r / "License.txt"); },
         "the licence file \"License.txt\" (LicenseFile in setup.ini) is not in the product folder"},
        {"licence is a folder",
         [](const fs::path& r) {
             fs::remove(r / "License.txt");
             fs::create_directory(r / "License.txt");
         },
         "is not a regular file"},
        {"licence empty", licence(""), "\"License.txt\" is empty"},
        {"licence only a UTF-16 mark", licence("\xFF\xFE"), "holds no text"},
        {"licence UTF-16 odd length", licence("\xFF\xFEH\0i"), "holds no text"},
        {"licence only U+0000", licence(std::string("\xFF\xFE\0\0\0\0", 6)), "holds no text"},
        {"licence only a UTF-8 mark", licence("\xEF\xBB\xBF"), "holds no text"},
        {"no files folder", [](const fs::path& r) { fs::remove_all(r / "files"); }, "no files/ folder"},
        {"files holds only the licence",
         [](const fs::path& r) {
             fs::remove_all(r / "files");
             WriteFile(r / "files/License.txt", "Terms.");
             WriteFile(r / "setup.ini", "[Setup]\nLicenseFile=files/License.txt\n");
         },
         "holds no file to install"},
        {"pattern selects nothing", ini(std::string(kIni) + "File3=Missing.dll\nFile4=Doc\\\n"),
         "setup.ini line 7 ([Files] File3): \"Missing.dll\" selects no file below files/; setup.ini line 8 ([Files] "
         "File4): \"Doc\\\" selects no file below files/: it names a folder, and a value without * selects one "
         "file; write Doc\\* (patterns are relative to files/"},
        {"pattern selects only the licence",
         [](const fs::path& r) {
             WriteFile(r / "files/License.txt", "Terms.");
             WriteFile(r / "setup.ini", std::string(kIni) + "File3=License.txt\n");
         },
         "\"License.txt\" selects no file below files/ (patterns are relative to files/, e.g. App.exe, Doc\\* or *.dll; "
         "the licence file is never installed)"},
        {"colon in a name", [](const fs::path& r) { WriteFile(r / "files/a:b.txt", ""); },
         "cannot store \"files/a:b.txt\": ':' is not allowed"},
        {"backslash in a name", [](const fs::path& r) { WriteFile(r / "files/a\\b.txt", ""); },
         "cannot store \"files/a\\b.txt\": '\\' is not allowed"},
        {"device name", [](const fs::path& r) { WriteFile(r / "files/Doc/con.txt", ""); }, "device name"},
        {"trailing dot", [](const fs::path& r) { WriteFile(r / "files/readme.", ""); }, "trailing dot"},
        {"invalid UTF-8 name", [](const fs::path& r) { WriteFile(r / "files/\xFF.txt", ""); }, "not valid UTF-8"},
        {"names differing in case", [](const fs::path& r) { WriteFile(r / "files/app.exe", ""); },
         "\"files/App.exe\" and \"files/app.exe\" differ only in letter case"},
        // Windows folds letters beyond A-Z too: these are one file there.
        {"names differing in accented case",
         [](const fs::path& r) {
             WriteFile(r / "files/Doc/Ä.txt", "");
             WriteFile(r / "files/Doc/ä.txt", "");
         },
         "\"files/Doc/Ä.txt\" and \"files/Doc/ä.txt\" differ only in letter case; Windows would keep only "
         "one of them"},
        {"folders differing in Cyrillic case",
         [](const fs::path& r) {
             WriteFile(r / "files/Данные/a.txt", "");
             WriteFile(r / "files/данные/A.TXT", "");
         },
         "\"files/Данные/a.txt\" and \"files/данные/A.TXT\" differ only in letter case"},
        {"file and folder differing in case",
         [](const fs::path& r) {
             WriteFile(r / "files/Ä", "");
             WriteFile(r / "files/ä/x.txt", "");
         },
         "\"files/Ä\" and the folder of \"files/ä/x.txt\" differ only in letter case"},
        {"full-width letters differing in case",
         [](const fs::path& r) {
             WriteFile(r / "files/Ａ.txt", "");
             WriteFile(r / "files/ａ.txt", "");
         },
         "\"files/Ａ.txt\" and \"files/ａ.txt\" differ only in letter case"},
        {"link to a folder",
         [](const fs::path& r) { fs::create_directory_symlink(r / "files/Doc", r / "files/DocLink"); },
         "\"files/DocLink\" is a link to a folder"},
        {"broken link", [](const fs::path& r) { fs::create_symlink(r / "nowhere", r / "files/gone.txt"); },
         "\"files/gone.txt\" is a link to nothing"},
        {"pipe", [](const fs::path& r) { mkfifo((r / "files/pipe").c_str(), 0600); },
         "\"files/pipe\" is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder product(L"builder_product");
        WriteFile(product.path() / "setup.ini", kIni);
        WriteFile(product.path() / "License.txt", "Terms.\n");
        WriteFile(product.path() / "files/App.exe", "MZ");
        WriteFile(product.path() / "files/Doc/Manual.pdf", "%PDF");
        c.change(product.path());
        try {
            ReadProductFolder(product.path());
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_THAT(e.what(), ::testing::HasSubstr(c.message));
        }
    }
}

}  // namespace
}  // namespace zel
