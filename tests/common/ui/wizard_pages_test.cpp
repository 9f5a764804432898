// The wizard's and the maintenance dialog's page rules, compiled into the native
// tests (under the sanitizers) and the Windows tests.
#include "ui/wizard_pages.h"

#include <gtest/gtest.h>

#include "ui/resource_ids.h"

namespace zel {
namespace {

struct PageCase {
    std::int32_t page;
    InstallMode mode;
    bool licenseAccepted;
    const wchar_t* title;
    const wchar_t* subtitle;
    bool back;
    const wchar_t* nextCaption;  // null: unchanged
    bool next;
    int focus;
};

const PageCase kPageCases[] = {
    {Welcome, InstallMode::Install, true, L"Zel Viewer セットアップ",
     L"ようこそ。このウィザードは Zel Viewer をインストールします。", false, L"次へ", true, 0},
    {License, InstallMode::Install, false, L"使用許諾契約", L"以下の使用許諾契約を確認し、同意してください。", true,
     L"次へ", false, IDC_LICENSE_ACCEPT},
    {License, InstallMode::Install, true, L"使用許諾契約", L"以下の使用許諾契約を確認し、同意してください。", true,
     L"次へ", true, IDC_LICENSE_ACCEPT},
    {Destination, InstallMode::Install, true, L"インストール先の選択", L"インストールするフォルダを選択してください。",
     true, L"インストール", true, IDC_PATH_EDIT},
    {Progress, InstallMode::Repair, true, L"修復中", L"ファイルを再コピーしています。しばらくお待ちください。", false,
     nullptr, false, IDC_LOG},
    {Progress, InstallMode::Update, true, L"アップデート中",
     L"新しいバージョンのファイルを適用しています。しばらくお待ちください。", false, nullptr, false, IDC_LOG},
    {Progress, InstallMode::Install, true, L"インストール中", L"ファイルをコピーしています。しばらくお待ちください。",
     false, nullptr, false, IDC_LOG},
    {Finish, InstallMode::Repair, true, L"修復完了", L"Zel Viewer の修復が完了しました。", false, L"終了", true,
     IDC_LOG},
    {Finish, InstallMode::Update, true, L"アップデート完了", L"Zel Viewer のアップデートが完了しました。", false,
     L"終了", true, IDC_LOG},
    {Finish, InstallMode::Install, true, L"完了", L"Zel Viewer のインストールが完了しました。", false, L"終了", true,
     IDC_LOG},
};

TEST(WizardPagesTest, TextsButtonsAndFocusPerPageAndMode) {
    for (const PageCase& c : kPageCases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page << " mode " << static_cast<int>(c.mode));
        PageLayout layout = GetPageLayout(c.page, c.mode, L"Zel Viewer", c.licenseAccepted);
        EXPECT_TRUE(layout.known);
        EXPECT_EQ(layout.title, c.title);
        EXPECT_EQ(layout.subtitle, c.subtitle);
        EXPECT_EQ(layout.backEnabled, c.back);
        EXPECT_EQ(layout.nextEnabled, c.next);
        if (c.nextCaption) {
            ASSERT_TRUE(layout.nextCaption.has_value());
            EXPECT_EQ(*layout.nextCaption, c.nextCaption);
        } else {
            EXPECT_FALSE(layout.nextCaption.has_value());
        }
        EXPECT_EQ(layout.focusId, c.focus);
    }
}

TEST(WizardPagesTest, EachPageShowsOnlyItsOwnControls) {
    struct Row {
        std::int32_t page;
        bool destination, license, progress;
    };
    const Row rows[] = {{Welcome, false, false, false},    {License, false, true, false},
                        {Destination, true, false, false}, {Progress, false, false, true},
                        {Finish, false, false, true},      {7, false, false, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.page);
        PageLayout layout = GetPageLayout(row.page, InstallMode::Install, L"A", false);
        EXPECT_EQ(layout.showDestination, row.destination);
        EXPECT_EQ(layout.showLicense, row.license);
        EXPECT_EQ(layout.showProgress, row.progress);
    }
    EXPECT_FALSE(GetPageLayout(-1, InstallMode::Install, L"A", false).known);
}

TEST(WizardPageOrderTest, NextAndBackWalkTheFirstThreePagesOnly) {
    struct Row {
        WizardPage page, next, previous;
    };
    const Row rows[] = {{Welcome, License, Welcome},
                        {License, Destination, Welcome},
                        {Destination, Destination, License},
                        {Progress, Progress, Progress},
                        {Finish, Finish, Finish}};
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.page));
        EXPECT_EQ(NextPage(row.page), row.next);
        EXPECT_EQ(PreviousPage(row.page), row.previous);
    }
}

TEST(MaintenanceRulesTest, MessageListsVersionsOnlyWhenInstalledVersionKnown) {
    EXPECT_EQ(MaintenanceMessage(L"4.9.0", L"4.15.0", L"C:\\Program Files\\Zel"),
              L"この製品は既にインストールされています。\r\n\r\n現在のバージョン: 4.9.0\r\n"
              L"セットアップのバージョン: 4.15.0\r\n\r\nインストール先:\r\nC:\\Program Files\\Zel");
    EXPECT_EQ(MaintenanceMessage(L"", L"4.15.0", L"D:\\Zel"),
              L"この製品は既にインストールされています。\r\n\r\nインストール先:\r\nD:\\Zel");
}

TEST(MaintenanceRulesTest, DefaultChoiceAndContinueResult) {
    EXPECT_EQ(MaintenanceDefaultChoice(true), IDC_MAINT_UPDATE);
    EXPECT_EQ(MaintenanceDefaultChoice(false), IDC_MAINT_REPAIR);
    EXPECT_EQ(MaintenanceContinueResult(true, false), kMaintenanceUpdate);
    EXPECT_EQ(MaintenanceContinueResult(true, true), kMaintenanceUpdate);
    EXPECT_EQ(MaintenanceContinueResult(false, true), kMaintenanceRepair);
    EXPECT_EQ(MaintenanceContinueResult(false, false), kMaintenanceUninstall);
}

}  // namespace
}  // namespace zel
