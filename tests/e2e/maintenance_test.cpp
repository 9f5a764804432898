// The maintenance dialog for a product found in the registry: its message and
// preselected choice by installed version, Cancel, Escape, and the Uninstall
// choice answered with No.
#include <windows.h>

#include <algorithm>

#include "automation/registry.h"
#include "automation/shell.h"
#include "e2e_fixture.h"
#include "sample_install.h"
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
    // Without its manifest the uninstall would stop before the question.
    const Bytes manifest = Utf8Bytes(L"\uFEFFApp.exe\ninstall_manifest.txt\n");
    ASSERT_TRUE(WriteFileBytes(folder / L"install_manifest.txt", manifest));
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
    EXPECT_EQ(ReadFileBytes(folder / L"install_manifest.txt"), std::optional<Bytes>(manifest));
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

// A small product of its own in two versions, built by InstallerBuilder.exe:
// 1.0.0 installs README.txt, 1.1.0 no longer does; both link the uninstaller
// from the Start menu.
class ProductUpdateTest : public E2eTest {
protected:
    static constexpr wchar_t kAppName[] = L"Zel Update Test";

    void SetUp() override {
        E2eTest::SetUp();
        if (GetInputs().builderExe.empty()) GTEST_SKIP() << "InstallerBuilder.exe was not built";
        installDir_ = scratch_ / L"Zel Update Test";
        group_ = KnownFolder(FOLDERID_Programs) / kAppName;
        log_ = scratch_ / L"setup.log";
    }
    void TearDown() override {
        for (const std::wstring& key : KeysOfProduct(kAppName)) DeleteUninstallKey(key);
        if (!group_.empty()) RemoveTree(group_);
        E2eTest::TearDown();
    }

    // Writes the product folder of the version and builds its setup.exe.
    fs::path Build(const std::wstring& version, const std::vector<std::wstring>& files) {
        const fs::path product = scratch_ / (L"product-" + version);
        std::wstring ini = L"[Setup]\r\nAppName=" + std::wstring(kAppName) + L"\r\nAppVersion=" + version +
                           L"\r\nDisplayVersion=" + version +
                           L"\r\nPublisher=ZelSetup\r\nDefaultInstallDir=C:\\Program Files\\Zel Update Test\r\n"
                           L"StartMenuGroupName=" +
                           kAppName + L"\r\nLicenseFile=License.txt\r\n[Files]\r\n";
        for (size_t i = 0; i < files.size(); ++i) {
            ini += L"File" + std::to_wstring(i + 1) + L"=" + files[i] + L"\r\n";
            EXPECT_TRUE(WriteFileBytes(product / L"files" / files[i], Utf8Bytes(version)));
        }
        // The uninstaller listed first, as packagers usually list it.
        ini += L"[StartMenuItems]\r\nItem1=アンインストール|Uninstall.exe\r\nItem2=App|App.txt\r\n";
        EXPECT_TRUE(WriteFileBytes(product / L"setup.ini", Utf8Bytes(ini)));
        EXPECT_TRUE(WriteFileBytes(product / L"License.txt", Utf8Bytes(L"licence")));
        const fs::path setup = scratch_ / (L"setup-" + version + L".exe");
        Process builder = StartProcess(GetInputs().builderExe, {product.wstring(), L"-o", setup.wstring(), L"--stub",
                                                                GetInputs().stubExe.wstring()});
        EXPECT_EQ(builder.Wait(std::chrono::seconds(60)), std::optional<DWORD>(0)) << "InstallerBuilder.exe failed";
        return setup;
    }

    // The quiet run's log lines follow any failure of the test.
    std::optional<DWORD> RunQuiet(const fs::path& setup) {
        Process process = StartProcess(setup, {L"/quiet", L"/dir", installDir_.wstring(), L"/log", log_.wstring()});
        EXPECT_TRUE(process);
        return ExitCode(process, kInstallTimeout);
    }
    std::string LogText() const {
        const Bytes bytes = ReadFileBytes(log_).value_or(Bytes{});
        return std::string(bytes.begin(), bytes.end());
    }

    fs::path installDir_;
    fs::path group_;
    fs::path log_;
};

// The update keeps the dropped README.txt listed (it deletes nothing itself),
// removes the Uninstall.exe draft a killed run left, and the uninstall then
// leaves the install folder empty.
TEST_F(ProductUpdateTest, UninstallAfterAnUpdateRemovesWhatTheEarlierVersionPlaced) {
    ComApartment com;  // the links are read through the shell-link object
    const fs::path setup10 = Build(L"1.0.0", {L"App.txt", L"README.txt"});
    const fs::path setup11 = Build(L"1.1.0", {L"App.txt"});
    if (HasFailure()) return;

    ASSERT_EQ(RunQuiet(setup10), std::optional<DWORD>(0));
    // A Start-menu item that links to Uninstall.exe is made on a first install.
    const std::optional<ShortcutContent> link = ReadShortcut(group_ / L"アンインストール.lnk");
    EXPECT_TRUE(link.has_value()) << "no link to the uninstaller; log:\n" << LogText();
    if (link) {
        EXPECT_EQ(U8(link->target), U8((installDir_ / L"Uninstall.exe").wstring()));
    }
    EXPECT_TRUE(fs::exists(group_ / L"App.lnk")) << "the item after the uninstaller's";

    // What a run killed while it copied setup.exe leaves behind.
    const fs::path draft = installDir_ / L"Uninstall.exe.4000000000-0.tmp";
    ASSERT_TRUE(WriteFileBytes(draft, Utf8Bytes(L"a whole copy of setup.exe")));

    ASSERT_EQ(RunQuiet(setup11), std::optional<DWORD>(0));
    const std::vector<std::wstring> keys = KeysOfProduct(kAppName);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(ReadUninstallString(keys[0], L"DisplayVersion"), std::optional<std::wstring>(L"1.1.0"));
    EXPECT_FALSE(fs::exists(draft)) << "the killed run's draft outlived the next run";
    EXPECT_EQ(ReadFileBytes(installDir_ / L"README.txt"), std::optional<Bytes>(Utf8Bytes(L"1.0.0")))
        << "the update deletes nothing";
    const std::vector<std::wstring> manifest =
        ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}));
    EXPECT_NE(std::find(manifest.begin(), manifest.end(), L"README.txt"), manifest.end());

    Process uninstall = StartCommandLine(ReadUninstallString(keys[0], L"QuietUninstallString").value_or(L""));
    ASSERT_TRUE(uninstall);
    EXPECT_EQ(ExitCode(uninstall, kInstallTimeout), std::optional<DWORD>(0));
    EXPECT_TRUE(WaitFor([&] { return fs::is_directory(installDir_) && fs::is_empty(installDir_); }, 10s, 100ms))
        << "left in the install folder: " << ListFiles(installDir_).size() << " files";
    EXPECT_FALSE(fs::exists(installDir_ / L"README.txt"));
    EXPECT_FALSE(fs::exists(group_));
    EXPECT_TRUE(KeysOfProduct(kAppName).empty());
}

}  // namespace
}  // namespace zel::e2e
