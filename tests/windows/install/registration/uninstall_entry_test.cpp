#include "install/registration/uninstall_entry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "util/unique_handle.h"
#include "windows/install/install_test_support.h"

namespace zel {
namespace {

using test::ReadUninstallValue;

constexpr wchar_t kKey[] = L"{0F0E0D0C-ZEL0-TEST-0000-REGISTRATION}";
constexpr wchar_t kInstallDir[] = L"C:\\Program Files\\アプリケーション";
constexpr wchar_t kUninstallExe[] = L"C:\\Program Files\\アプリケーション\\Uninstall.exe";

SetupConfig FullConfig() {
    SetupConfig config;
    config.AppName = L"Zel Registry Test";
    config.ProgramsDisplayName = L"Zel Registry Test 2.1";
    config.DisplayVersion = L"2.1";
    config.ProductVersion = L"2.1.0.7";
    config.Publisher = L"Example Vendor";
    config.SupportUrl = L"https://example.com/support";
    config.HelpUrl = L"https://example.com/help";
    config.UpdateUrl = L"https://example.com/update";
    config.ShortcutName = L"Zel App";
    config.StartMenuGroupName = L"Example\\Zel App";
    config.MainExe = L"bin\\App.exe";
    return config;
}

class UninstallRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { test::DeleteUninstallKey(kKey); }
    void TearDown() override { test::DeleteUninstallKey(kKey); }

    static void ExpectString(const wchar_t* name, const std::wstring& expected) {
        SCOPED_TRACE(std::filesystem::path(name).string());
        const test::RegistryValue value = ReadUninstallValue(kKey, name);
        ASSERT_TRUE(value.exists);
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value.data.size(), (expected.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(value.String(), expected + L'\0');
    }
};

TEST_F(UninstallRegistryTest, WritesTheFourteenValuesAndTheQuietCommandWithTypesAndSizes) {
    ASSERT_TRUE(RegisterUninstallEntry(kInstallDir, kUninstallExe, FullConfig(), kKey, 123456));

    EXPECT_EQ(test::Sorted(test::UninstallValueNames(kKey)),
              test::Sorted({L"DisplayName", L"DisplayVersion", L"Version", L"Publisher", L"InstallLocation",
                            L"UninstallString", L"DisplayIcon", L"EstimatedSize", L"URLInfoAbout", L"HelpLink",
                            L"URLUpdateInfo", L"ZelShortcutName", L"ZelStartMenuGroupName", L"ZelSetupAppName",
                            L"QuietUninstallString"}));
    ExpectString(L"DisplayName", L"Zel Registry Test 2.1");
    ExpectString(L"DisplayVersion", L"2.1");
    ExpectString(L"Version", L"2.1.0.7");
    ExpectString(L"Publisher", L"Example Vendor");
    ExpectString(L"InstallLocation", kInstallDir);
    ExpectString(L"UninstallString",
                 std::wstring(L"\"C:\\Program Files\\アプリケーション\\Uninstall.exe\" /uninstall ") + kKey);
    // Deployment tools run it as it stands: the uninstall command and the quiet switch.
    ExpectString(
        L"QuietUninstallString",
        std::wstring(L"\"C:\\Program Files\\アプリケーション\\Uninstall.exe\" /uninstall ") + kKey + L" /quiet");
    ExpectString(L"DisplayIcon", L"C:\\Program Files\\アプリケーション\\bin\\App.exe");
    ExpectString(L"URLInfoAbout", L"https://example.com/support");
    ExpectString(L"HelpLink", L"https://example.com/help");
    ExpectString(L"URLUpdateInfo", L"https://example.com/update");
    ExpectString(L"ZelShortcutName", L"Zel App");
    ExpectString(L"ZelStartMenuGroupName", L"Example\\Zel App");
    ExpectString(L"ZelSetupAppName", L"Zel Registry Test");

    const test::RegistryValue size = ReadUninstallValue(kKey, L"EstimatedSize");
    ASSERT_TRUE(size.exists);
    EXPECT_EQ(size.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size.data, (std::vector<BYTE>{0x40, 0xE2, 0x01, 0x00}));
}

TEST_F(UninstallRegistryTest, EmptyFieldsFallBackOrAreLeftOutAndOlderLinksSurvive) {
    ASSERT_TRUE(RegisterUninstallEntry(kInstallDir, kUninstallExe, FullConfig(), kKey, 1));

    SetupConfig config = FullConfig();
    config.ProgramsDisplayName.clear();
    config.SupportUrl.clear();
    config.HelpUrl.clear();
    config.MainExe.clear();
    config.DisplayVersion = L"2.2";
    ASSERT_TRUE(RegisterUninstallEntry(kInstallDir, kUninstallExe, config, kKey, 0xFFFFFFFF));

    ExpectString(L"DisplayName", L"Zel Registry Test");
    ExpectString(L"DisplayVersion", L"2.2");
    ExpectString(L"DisplayIcon", L"C:\\Program Files\\アプリケーション\\");
    ExpectString(L"URLInfoAbout", L"https://example.com/support");
    ExpectString(L"HelpLink", L"https://example.com/help");
    EXPECT_EQ(ReadUninstallValue(kKey, L"EstimatedSize").Dword(), 0xFFFFFFFFu);

    test::DeleteUninstallKey(kKey);
    ASSERT_TRUE(RegisterUninstallEntry(kInstallDir, kUninstallExe, config, kKey, 0));
    EXPECT_FALSE(ReadUninstallValue(kKey, L"URLInfoAbout").exists);
    EXPECT_FALSE(ReadUninstallValue(kKey, L"HelpLink").exists);
    ExpectString(L"URLUpdateInfo", L"https://example.com/update");
    ExpectString(L"DisplayVersion", L"2.2");
    // An empty value is still written, as an empty string with its terminator.
    SetupConfig blank = config;
    blank.ShortcutName.clear();
    ASSERT_TRUE(RegisterUninstallEntry(kInstallDir, kUninstallExe, blank, kKey, 0));
    ExpectString(L"ZelShortcutName", L"");
}

// What the uninstall and the product lock read back is what the install wrote;
// a key written before ZelSetupAppName was recorded has no AppName at all.
TEST_F(UninstallRegistryTest, ReadsBackWhatWasWrittenAndIsGoneOnceDeleted) {
    ASSERT_TRUE(RegisterUninstallEntry(kInstallDir, kUninstallExe, FullConfig(), kKey, 1));
    UninstallEntry entry;
    ASSERT_TRUE(ReadUninstallEntry(kKey, entry));
    EXPECT_EQ(entry.installLocation, kInstallDir);
    EXPECT_EQ(entry.shortcutName, L"Zel App");
    EXPECT_EQ(entry.startMenuGroupName, L"Example\\Zel App");
    EXPECT_EQ(entry.setupAppName, std::optional<std::wstring>(L"Zel Registry Test"));

    UniqueHKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallEntryPath(kKey).c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                              key.put()),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteValueW(key.get(), kEntrySetupAppName), ERROR_SUCCESS);
    key.reset();
    ASSERT_TRUE(ReadUninstallEntry(kKey, entry));
    EXPECT_FALSE(entry.setupAppName.has_value());

    EXPECT_TRUE(DeleteUninstallEntry(kKey));
    EXPECT_FALSE(ReadUninstallEntry(kKey, entry));
    EXPECT_FALSE(DeleteUninstallEntry(kKey));
}

}  // namespace
}  // namespace zel
