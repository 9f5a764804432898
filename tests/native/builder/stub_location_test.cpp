// Where the builder looks for its default stub: next to itself, then in the
// package's data folder, and a refusal that names every place and why.
#include "builder/stub_location.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "native/builder/test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// A package root as the .deb and the Linux archive lay it out: bin/ for the
// builder, share/zelsetup/ for the stub.
TEST(StubLocationTest, NextToTheBuilderFirstThenThePackageDataFolder) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& root)> arrange;
        const char* found;  // relative to the root; empty: none found
    };
    const Case cases[] = {
        {"beside the builder", [](const fs::path& r) { test::WriteFile(r / "bin/InstallerCore.exe", "MZ"); },
         "bin/InstallerCore.exe"},
        {"in share/zelsetup", [](const fs::path& r) { test::WriteFile(r / "share/zelsetup/InstallerCore.exe", "MZ"); },
         "share/zelsetup/InstallerCore.exe"},
        {"both: beside the builder wins",
         [](const fs::path& r) {
             test::WriteFile(r / "bin/InstallerCore.exe", "MZ");
             test::WriteFile(r / "share/zelsetup/InstallerCore.exe", "MZ");
         },
         "bin/InstallerCore.exe"},
        {"a folder of that name beside the builder is passed over",
         [](const fs::path& r) {
             fs::create_directories(r / "bin/InstallerCore.exe");
             test::WriteFile(r / "share/zelsetup/InstallerCore.exe", "MZ");
         },
         "share/zelsetup/InstallerCore.exe"},
        {"a link to the stub of another tree",
         [](const fs::path& r) {
             test::WriteFile(r / "win64/InstallerCore.exe", "MZ");
             fs::create_symlink(r / "win64/InstallerCore.exe", r / "bin/InstallerCore.exe");
         },
         "bin/InstallerCore.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder root{L"stub_location"};
        fs::create_directories(root / "bin");
        c.arrange(root.path());
        EXPECT_EQ(FindDefaultStub(root / "bin"), (root / c.found).lexically_normal());
    }
}

TEST(StubLocationTest, NoneFoundNamesEveryPlaceAndWhy) {
    test::ScratchFolder root{L"stub_location"};
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share/zelsetup/InstallerCore.exe");
    fs::create_symlink(root / "win64/InstallerCore.exe", root / "bin/InstallerCore.exe");  // not built yet
    try {
        FindDefaultStub(root / "bin");
        FAIL() << "found a stub";
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        EXPECT_THAT(text, HasSubstr("\"" + (root / "bin/InstallerCore.exe").string() + "\": a link to \"" +
                                    (root / "win64/InstallerCore.exe").string() + "\", which does not exist"));
        EXPECT_THAT(text, HasSubstr("\"" + (root / "share/zelsetup/InstallerCore.exe").string() + "\": a folder"));
        EXPECT_THAT(text, HasSubstr("--stub"));
    }
    fs::remove(root / "bin/InstallerCore.exe");
    fs::remove(root / "share/zelsetup/InstallerCore.exe");
    EXPECT_THAT([&] { FindDefaultStub(root / "bin"); },
                ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("InstallerCore.exe\": not there")));
}

}  // namespace
}  // namespace zel
