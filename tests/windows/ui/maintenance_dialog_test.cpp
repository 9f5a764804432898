#include "ui/maintenance_dialog.h"

#include <gtest/gtest.h>

#include "windows/ui/ui_test_support.h"

namespace zel {
namespace {

using test::Command;
using test::ItemEnabled;
using test::ItemText;

class MaintenanceDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadDialogLibraries();
        context.plan.config.AppName = L"Zel Viewer";
        context.plan.config.AppVersion = L"4.15.0";
        product.keyName = L"{00000000-0000-0000-0000-000000000001}";
        product.installLocation = L"C:\\Program Files\\Zel Viewer";
        params.config = &context.plan.config;
        params.product = &product;
    }
    void TearDown() override {
        if (dialog) ::DestroyWindow(dialog);
    }

    void Open(const std::wstring& installedVersion, bool updateAvailable) {
        product.displayVersion = installedVersion;
        params.updateAvailable = updateAvailable;
        dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAINTENANCE), nullptr,
                                      MaintenanceDialogProc, reinterpret_cast<LPARAM>(&params));
        ASSERT_NE(dialog, nullptr);
        ::ShowWindow(dialog, SW_SHOW);
    }
    bool Checked(int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

    WizardState context;
    InstalledProduct product;
    MaintenanceParams params;
    HWND dialog = nullptr;
};

TEST_F(MaintenanceDialogTest, TextsAndCaptions) {
    Open(L"4.9.0", true);
    EXPECT_EQ(test::WindowText(dialog), L"メンテナンス");
    EXPECT_EQ(ItemText(dialog, IDC_TITLE), L"メンテナンス");
    EXPECT_EQ(ItemText(dialog, IDC_MAINT_UPDATE), L"アップデート (既存環境を維持して新しいバージョンを適用)");
    EXPECT_EQ(ItemText(dialog, IDC_MAINT_REPAIR), L"修復 (ファイルを再コピーして登録を更新)");
    EXPECT_EQ(ItemText(dialog, IDC_MAINT_UNINSTALL), L"アンインストール");
    EXPECT_EQ(ItemText(dialog, IDC_MAINT_CONTINUE), L"続行");
    EXPECT_EQ(ItemText(dialog, IDC_MAINT_CANCEL), L"キャンセル");
}

TEST_F(MaintenanceDialogTest, InstalledVersionDecidesMessageAndDefaultChoice) {
    struct Case {
        const wchar_t* installed;
        bool updateAvailable;  // as the run driver computes it against 4.15.0
        const wchar_t* message;
    };
    const Case cases[] = {
        {L"4.9.0", true,
         L"この製品は既にインストールされています。\r\n\r\n現在のバージョン: 4.9.0\r\nセットアップのバージョン: "
         L"4.15.0\r\n\r\nインストール先:\r\nC:\\Program Files\\Zel Viewer"},
        {L"4.15", false,
         L"この製品は既にインストールされています。\r\n\r\n現在のバージョン: 4.15\r\nセットアップのバージョン: "
         L"4.15.0\r\n\r\nインストール先:\r\nC:\\Program Files\\Zel Viewer"},
        {L"5.0", false,
         L"この製品は既にインストールされています。\r\n\r\n現在のバージョン: 5.0\r\nセットアップのバージョン: "
         L"4.15.0\r\n\r\nインストール先:\r\nC:\\Program Files\\Zel Viewer"},
        {L"", false,
         L"この製品は既にインストールされています。\r\n\r\nインストール先:\r\nC:\\Program Files\\Zel Viewer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "installed '" << testing::PrintToString(std::wstring(c.installed)) << "'");
        Open(c.installed, c.updateAvailable);
        EXPECT_EQ(ItemText(dialog, IDC_SUBTITLE), c.message);
        EXPECT_EQ(ItemEnabled(dialog, IDC_MAINT_UPDATE), c.updateAvailable);
        EXPECT_EQ(Checked(IDC_MAINT_UPDATE), c.updateAvailable);
        EXPECT_EQ(Checked(IDC_MAINT_REPAIR), !c.updateAvailable);
        EXPECT_FALSE(Checked(IDC_MAINT_UNINSTALL));
        ::DestroyWindow(dialog);
        dialog = nullptr;
    }
}

TEST_F(MaintenanceDialogTest, FontsAreCreatedAndReleased) {
    Open(L"", false);
    HFONT title = params.titleFont;
    ASSERT_NE(title, nullptr);
    ASSERT_NE(params.subtitleFont, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendDlgItemMessageW(dialog, IDC_TITLE, WM_GETFONT, 0, 0)), title);
    ::DestroyWindow(dialog);
    dialog = nullptr;
    EXPECT_EQ(params.titleFont, nullptr);
    EXPECT_EQ(params.subtitleFont, nullptr);
    EXPECT_EQ(::GetObjectType(title), 0u);
}

// The modal call's result for each way of leaving the dialog; Escape and the close
// box come first in every run and must change nothing.
TEST_F(MaintenanceDialogTest, ModalResults) {
    struct Case {
        bool updateAvailable;
        int choose;  // radio button to click first, 0 for the default
        int button;
        INT_PTR result;
    };
    const Case cases[] = {
        {true, 0, IDC_MAINT_CONTINUE, kMaintenanceUpdate},
        {false, 0, IDC_MAINT_CONTINUE, kMaintenanceRepair},
        {true, IDC_MAINT_REPAIR, IDC_MAINT_CONTINUE, kMaintenanceRepair},
        {true, IDC_MAINT_UNINSTALL, IDC_MAINT_CONTINUE, kMaintenanceUninstall},
        {false, IDC_MAINT_UNINSTALL, IDC_MAINT_CONTINUE, kMaintenanceUninstall},
        {true, 0, IDC_MAINT_CANCEL, kMaintenanceCancel},
        {false, IDC_MAINT_UNINSTALL, IDC_MAINT_CANCEL, kMaintenanceCancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "choose " << c.choose << " button " << c.button);
        product.displayVersion = c.updateAvailable ? L"1.0" : L"";
        params.updateAvailable = c.updateAvailable;
        INT_PTR result = test::ModalRun::Run(IDD_MAINTENANCE, MaintenanceDialogProc, reinterpret_cast<LPARAM>(&params),
                                             [&](HWND modal) {
                                                 ::SendMessageW(modal, WM_COMMAND, IDCANCEL, 0);
                                                 ::SendMessageW(modal, WM_SYSCOMMAND, SC_CLOSE, 0);
                                                 test::PumpMessages();
                                                 if (c.choose) {
                                                     ::SendDlgItemMessageW(modal, c.choose, BM_CLICK, 0, 0);
                                                 }
                                                 Command(modal, c.button);
                                             });
        EXPECT_EQ(result, c.result);
    }
}

TEST_F(MaintenanceDialogTest, SessionEndRemovesTheExtractionFolder) {
    Open(L"4.9.0", true);
    test::ExpectSessionEndRemovesTheExtractionFolder(dialog);
}

}  // namespace
}  // namespace zel
