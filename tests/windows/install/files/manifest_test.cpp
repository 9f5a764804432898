#include "install/files/manifest.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/scratch_folder.h"
#include "config/text_encoding.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class ManifestTest : public ::testing::Test {
protected:
    test::ScratchFolder scratch_{L"manifest"};
    const fs::path dir_ = scratch_.path();

    static std::string Bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

TEST_F(ManifestTest, WritesMarkThenEachEntryWithLineFeedOnly) {
    const fs::path path = dir_ / kRegsvrManifestName;
    ASSERT_TRUE(WriteManifest(path, {L"C:\\Windows\\System32\\a.dll", L"", L"C:/keep/slashes.ocx",
                                     L"C:\\Windows\\SysWOW64\\日本.dll", L"C:\\Windows\\System32\\a.dll"}));
    EXPECT_EQ(Bytes(path),
              "\xEF\xBB\xBF"
              "C:\\Windows\\System32\\a.dll\n"
              "\n"
              "C:/keep/slashes.ocx\n"
              "C:\\Windows\\SysWOW64\\\xE6\x97\xA5\xE6\x9C\xAC.dll\n"
              "C:\\Windows\\System32\\a.dll\n");
}

TEST_F(ManifestTest, EmptyListIsOnlyTheMark) {
    const fs::path path = dir_ / kCopyManifestName;
    ASSERT_TRUE(WriteManifest(path, {}));
    EXPECT_EQ(Bytes(path), "\xEF\xBB\xBF");
    ASSERT_TRUE(WriteInstallManifest(dir_, {}));
    EXPECT_EQ(Bytes(dir_ / kInstallManifestName), "\xEF\xBB\xBF");
}

TEST_F(ManifestTest, InstallManifestTurnsSlashesIntoBackslashesAndTruncates) {
    const fs::path path = dir_ / kInstallManifestName;
    ASSERT_TRUE(WriteInstallManifest(dir_, {L"Doc/Manual.pdf", L"Old\\Entry.txt", L"Old/Second/Entry.txt",
                                            L"install_manifest.txt", L"Uninstall.exe"}));
    // A later run with fewer files rewrites the manifest from scratch.
    ASSERT_TRUE(WriteInstallManifest(dir_, {L"a/b/c.txt", L"install_manifest.txt", L"Uninstall.exe"}));
    EXPECT_EQ(Bytes(path),
              "\xEF\xBB\xBF"
              "a\\b\\c.txt\ninstall_manifest.txt\nUninstall.exe\n");
}

TEST_F(ManifestTest, NonAsciiEntriesReadBackUnchanged) {
    const std::vector<std::wstring> entries = {L"プログラム\\説明書.pdf", L"", L"  leading blank.txt",
                                               L"Ünïcödé\\😀.txt", L"install_manifest.txt"};
    ASSERT_TRUE(WriteInstallManifest(dir_, entries));
    const std::string bytes = Bytes(dir_ / kInstallManifestName);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    const std::vector<std::wstring> expected = {L"プログラム\\説明書.pdf", L"  leading blank.txt", L"Ünïcödé\\😀.txt",
                                                L"install_manifest.txt"};
    EXPECT_EQ(ReadUtf8Lines(dir_ / kInstallManifestName), expected);
}

TEST_F(ManifestTest, UnopenablePathGivesFalse) {
    EXPECT_FALSE(WriteManifest(dir_ / L"missing" / kCopyManifestName, {L"x"}));
    EXPECT_FALSE(WriteInstallManifest(dir_ / L"missing", {L"x"}));
    fs::create_directories(dir_ / L"folder");
    EXPECT_FALSE(WriteManifest(dir_ / L"folder", {L"x"}));  // a folder stands at the path
    EXPECT_FALSE(fs::exists(dir_ / L"missing"));
}

}  // namespace
}  // namespace zel
