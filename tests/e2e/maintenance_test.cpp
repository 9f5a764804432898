// The maintenance dialog for a product found in the registry: its message and
// preselected choice by installed version, Cancel, Escape, and the Uninstall
// choice answered with No.
#include <windows.h>

#include "automation/registry.h"
#include "e2e_fixture.h"
#include "wizard_steps.h"

namespace zel::e2e {
namespace {

namespace fs = std::filesystem;

class MaintenanceTest : public E2eTest {
protected:
    // Registers the sample product as installed in the given folder.
    void SeedInstallation(const fs::path& folder, const std::wstring& displayVersion) {
        key_ = NewGuidText();
        ASSERT_FALSE(key_.empty());
        std::vector<std::pair<std::wstring, std::wstring>> values = {
            {L"DisplayName", Sample().programsDisplayName},
            {L"Publisher", Sample().publisher},
            {L"InstallLocation", folder.wstring()},
            {L"UninstallString", L"\"" + (folder / L"Uninstall.exe").wstring() + L"\" /uninstall " + key_},
            {L"ZelSetupAppName", Sample().appName}};
        if (!displayVersion.empty()) values.insert(values.begin() + 1, {L"DisplayVersion", displayVersion});
        ASSERT_TRUE(WriteUninstallKey(key_, values));
    }
    void TearDown() override {
        if (!key_.empty()) DeleteUninstallKey(key_);
        E2eTest::TearDown();
    }

    std::wstring key_;
};

std::wstring ExpectedMessage(const std::wstring& installedVersion, const std::wstring& folder) {
    std::wstring message = L"この製品は既にインストールされています。";
    if (!installedVersion.empty())
        message +=
            L"\r\n\r\n現在のバージョン: " + installedVersion + L"\r\nセットアップのバージョン: " + Sample().appVersion;
    return message + L"\r\n\r\nインストール先:\r\n" + folder;
}

struct VersionCase {
    const char* name;
    std::wstring installed;  // the sample's own version is 1.2.0
    bool updateOffered;
};

class MaintenanceVersionTest : public MaintenanceTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(MaintenanceVersionTest, ShowsTheInstallationAndPreselectsTheRightChoice) {
    ASSERT_EQ(Sample().appVersion, L"1.2.0") << "the version table is written for the sample's 1.2.0";
    const VersionCase& c = GetParam();
    const fs::path folder = scratch_ / L"インストール済み";
    fs::create_directories(folder);
    SeedInstallation(folder, c.installed);
    if (HasFatalFailure()) return;

    Process setup = StartProcess(GetInputs().setupExe, {});
    ASSERT_TRUE(setup);
    HWND dialog = Expect(setup, WindowKind::Maintenance, L"maintenance");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(U8(WindowText(dialog)), U8(L"メンテナンス"));
    EXPECT_EQ(U8(ControlText(dialog, kTitle)), U8(L"メンテナンス"));
    EXPECT_EQ(U8(ControlText(dialog, kSubtitle)), U8(ExpectedMessage(c.installed, folder.wstring())));
    EXPECT_EQ(U8(ControlText(dialog, kUpdate)), U8(L"アップデート (既存環境を維持して新しいバージョンを適用)"));
    EXPECT_EQ(U8(ControlText(dialog, kRepair)), U8(L"修復 (ファイルを再コピーして登録を更新)"));
    EXPECT_EQ(U8(ControlText(dialog, kUninstall)), U8(L"アンインストール"));
    EXPECT_EQ(U8(ControlText(dialog, kContinue)), U8(L"続行"));
    EXPECT_EQ(U8(ControlText(dialog, kMaintCancel)), U8(L"キャンセル"));
    EXPECT_EQ(IsControlEnabled(dialog, kUpdate), c.updateOffered);
    EXPECT_EQ(IsControlChecked(dialog, kUpdate), c.updateOffered);
    EXPECT_EQ(IsControlChecked(dialog, kRepair), !c.updateOffered);
    EXPECT_FALSE(IsControlChecked(dialog, kUninstall));

    ExpectMaintenanceStaysOpen(setup, dialog);
    Click(dialog, kMaintCancel);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    EXPECT_EQ(FindProcessWindow(setup.id(), WindowKind::Wizard), nullptr) << "no wizard after Cancel";
    EXPECT_TRUE(UninstallKeyExists(key_));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, MaintenanceVersionTest,
    ::testing::Values(VersionCase{"Older", L"1.0.0", true}, VersionCase{"OlderByNumberNotText", L"1.1.9", true},
                      VersionCase{"EqualAfterTrailingZeros", L"1.2", false}, VersionCase{"Equal", L"1.2.0", false},
                      VersionCase{"NewerByNumberNotText", L"1.10.0", false},
                      VersionCase{"NotNumericComparedAsText", L"1.2.0a", false}, VersionCase{"Empty", L"", false}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST_F(MaintenanceTest, UninstallAnsweredNoChangesNothing) {
    const fs::path folder = scratch_ / L"インストール済み";
    fs::create_directories(folder);
    const Bytes content = {'k', 'e', 'e', 'p'};
    ASSERT_TRUE(WriteFileBytes(folder / L"App.exe", content));
    SeedInstallation(folder, L"1.2.0");
    if (HasFatalFailure()) return;

    Process setup = StartProcess(GetInputs().setupExe, {});
    ASSERT_TRUE(setup);
    HWND dialog = Expect(setup, WindowKind::Maintenance, L"maintenance");
    ASSERT_NE(dialog, nullptr);
    Click(dialog, kUninstall);
    ASSERT_TRUE(WaitFor([&] { return IsControlChecked(dialog, kUninstall); }));
    EXPECT_FALSE(IsControlChecked(dialog, kRepair));
    Click(dialog, kContinue);

    HWND box = Expect(setup, WindowKind::MessageBox, L"confirm");
    ASSERT_NE(box, nullptr);
    const MessageBoxContent confirm = AnswerBox(box, IDNO, L"confirm");
    EXPECT_EQ(U8(confirm.title), U8(L"アンインストールの確認"));
    EXPECT_EQ(U8(confirm.text), U8(L"「" + folder.wstring() + L"」からアプリケーションを削除します。よろしいですか？"));
    EXPECT_EQ(confirm.icon, BoxIcon::Question) << BoxIconName(confirm.icon);
    EXPECT_EQ(confirm.buttons, (std::vector<int>{IDYES, IDNO}));

    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    EXPECT_TRUE(UninstallKeyExists(key_));
    EXPECT_EQ(ReadFileBytes(folder / L"App.exe"), std::optional<Bytes>(content));
}

TEST_F(MaintenanceTest, RegisteredFolderThatNoLongerExistsGivesThePlainWizard) {
    SeedInstallation(scratch_ / L"消えたフォルダ", L"1.0.0");
    if (HasFatalFailure()) return;
    Process setup = StartProcess(GetInputs().setupExe, {});
    ASSERT_TRUE(setup);
    HWND wizard = Expect(setup, WindowKind::Wizard, L"wizard");
    ASSERT_NE(wizard, nullptr);
    ExpectPage(wizard, WizardPage::Welcome);
    EXPECT_EQ(FindProcessWindow(setup.id(), WindowKind::Maintenance), nullptr);
    Click(wizard, kCancel);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace zel::e2e
