#include "ui/wizard_dialog.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "windows/ui/ui_test_support.h"

namespace zel {
namespace {

using test::Command;
using test::ItemEnabled;
using test::ItemText;
using test::ItemVisible;
using test::RecordedActions;

class WizardDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadDialogLibraries();
        context.plan.config.AppName = L"Zel Viewer";
        context.licenseText = L"使用許諾契約書\r\n第1条 この契約は…";
        context.plan.installDir = L"C:\\Program Files\\Zel Viewer";
    }
    void TearDown() override {
        if (dialog) ::DestroyWindow(dialog);
    }

    HWND Open() {
        dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WIZARD), nullptr,
                                      WizardDialogProc, reinterpret_cast<LPARAM>(&context));
        EXPECT_NE(dialog, nullptr);
        ::ShowWindow(dialog, SW_SHOW);
        ::UpdateWindow(dialog);
        return dialog;
    }

    void ClickAccept() { ::SendDlgItemMessageW(dialog, IDC_LICENSE_ACCEPT, BM_CLICK, 0, 0); }
    bool AcceptChecked() { return ::IsDlgButtonChecked(dialog, IDC_LICENSE_ACCEPT) == BST_CHECKED; }
    bool Focused(int id) { return ::GetFocus() == ::GetDlgItem(dialog, id); }
    void GoToDestination() {
        Command(dialog, IDC_NEXT);
        ClickAccept();
        Command(dialog, IDC_NEXT);
        ASSERT_EQ(context.page, Destination);
    }

    RecordedActions actions;
    WizardState context;
    test::RecordingWizardReporter reporter{context};
    HWND dialog = nullptr;
};

TEST_F(WizardDialogTest, OpensOnWelcomeWithJapaneseTextsAndOnlyCommonControls) {
    Open();
    test::PumpMessages();
    EXPECT_EQ(context.hwnd, dialog);
    EXPECT_EQ(context.page, Welcome);
    EXPECT_EQ(test::WindowText(dialog), L"セットアップ");
    EXPECT_EQ(ItemText(dialog, IDC_PATH_LABEL), L"インストール先:");
    EXPECT_EQ(ItemText(dialog, IDC_LICENSE_ACCEPT), L"使用許諾契約に同意します");
    EXPECT_EQ(ItemText(dialog, IDC_PATH_EDIT), context.plan.installDir);
    EXPECT_EQ(ItemText(dialog, IDC_LICENSE_TEXT), context.licenseText);
    EXPECT_EQ(ItemText(dialog, IDC_TITLE), L"Zel Viewer セットアップ");
    EXPECT_EQ(ItemText(dialog, IDC_SUBTITLE), L"ようこそ。このウィザードは Zel Viewer をインストールします。");
    EXPECT_EQ(ItemText(dialog, IDC_BACK), L"戻る");
    EXPECT_EQ(ItemText(dialog, IDC_NEXT), L"次へ");
    EXPECT_EQ(ItemText(dialog, IDC_CANCEL), L"キャンセル");
    EXPECT_EQ(ItemText(dialog, IDC_BROWSE), L"参照...");
    EXPECT_FALSE(ItemEnabled(dialog, IDC_BACK));
    EXPECT_TRUE(ItemEnabled(dialog, IDC_NEXT));
    EXPECT_TRUE(ItemEnabled(dialog, IDC_CANCEL));
    for (int id :
         {IDC_PATH_LABEL, IDC_PATH_EDIT, IDC_BROWSE, IDC_PROGRESS, IDC_LOG, IDC_LICENSE_TEXT, IDC_LICENSE_ACCEPT}) {
        EXPECT_FALSE(ItemVisible(dialog, id)) << id;
    }
    for (int id : {IDC_TITLE, IDC_SUBTITLE, IDC_BACK, IDC_NEXT, IDC_CANCEL}) EXPECT_TRUE(ItemVisible(dialog, id)) << id;
    EXPECT_FALSE(AcceptChecked());
    EXPECT_EQ(actions.runs, 0);
}

TEST_F(WizardDialogTest, LicenseNeedsTheTickBeforeNext) {
    Open();
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(context.page, License);
    EXPECT_EQ(ItemText(dialog, IDC_TITLE), L"使用許諾契約");
    EXPECT_TRUE(ItemVisible(dialog, IDC_LICENSE_TEXT));
    EXPECT_TRUE(ItemVisible(dialog, IDC_LICENSE_ACCEPT));
    EXPECT_FALSE(ItemVisible(dialog, IDC_PATH_EDIT));
    EXPECT_TRUE(ItemEnabled(dialog, IDC_BACK));
    EXPECT_FALSE(ItemEnabled(dialog, IDC_NEXT));
    EXPECT_TRUE(Focused(IDC_LICENSE_ACCEPT));

    // Next reaching the dialog anyway (Enter on the default button) only warns.
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(context.page, License);
    ASSERT_EQ(actions.boxes.size(), 1u);
    EXPECT_EQ(actions.boxes[0].text, L"使用許諾契約への同意が必要です。");
    EXPECT_EQ(actions.boxes[0].caption, L"入力チェック");
    EXPECT_EQ(actions.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));

    ClickAccept();
    EXPECT_TRUE(context.licenseAccepted);
    EXPECT_TRUE(ItemEnabled(dialog, IDC_NEXT));
    ClickAccept();
    EXPECT_FALSE(context.licenseAccepted);
    EXPECT_FALSE(ItemEnabled(dialog, IDC_NEXT));
    ClickAccept();

    Command(dialog, IDC_NEXT);
    EXPECT_EQ(context.page, Destination);
    EXPECT_EQ(ItemText(dialog, IDC_TITLE), L"インストール先の選択");
    EXPECT_EQ(ItemText(dialog, IDC_NEXT), L"インストール");
    EXPECT_TRUE(ItemVisible(dialog, IDC_PATH_LABEL));
    EXPECT_TRUE(ItemVisible(dialog, IDC_PATH_EDIT));
    EXPECT_TRUE(ItemVisible(dialog, IDC_BROWSE));
    EXPECT_FALSE(ItemVisible(dialog, IDC_LICENSE_TEXT));
    EXPECT_TRUE(Focused(IDC_PATH_EDIT));
    EXPECT_EQ(actions.runs, 0);
}

TEST_F(WizardDialogTest, NextOnWelcomeAsksForAcceptanceAgain) {
    Open();
    Command(dialog, IDC_NEXT);
    ClickAccept();
    Command(dialog, IDC_BACK);
    EXPECT_EQ(context.page, Welcome);
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(context.page, License);
    EXPECT_FALSE(context.licenseAccepted);
    EXPECT_FALSE(AcceptChecked());
    EXPECT_FALSE(ItemEnabled(dialog, IDC_NEXT));
}

TEST_F(WizardDialogTest, BackFromDestinationKeepsAcceptance) {
    Open();
    GoToDestination();
    Command(dialog, IDC_BACK);
    EXPECT_EQ(context.page, License);
    EXPECT_TRUE(context.licenseAccepted);
    EXPECT_TRUE(AcceptChecked());
    EXPECT_TRUE(ItemEnabled(dialog, IDC_NEXT));
    EXPECT_EQ(ItemText(dialog, IDC_NEXT), L"次へ");
}

TEST_F(WizardDialogTest, LicensePageStartsAtTheTopOfTheText) {
    for (int i = 0; i < 200; ++i) context.licenseText += L"第" + std::to_wstring(i) + L"条\r\n";
    Open();
    Command(dialog, IDC_NEXT);
    HWND license = ::GetDlgItem(dialog, IDC_LICENSE_TEXT);
    ::SendMessageW(license, EM_LINESCROLL, 0, 50);
    ASSERT_GT(::SendMessageW(license, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    Command(dialog, IDC_BACK);
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(::SendMessageW(license, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

TEST_F(WizardDialogTest, DestinationFolderIsTakenAsTypedUpTo1023Characters) {
    Open();
    GoToDestination();
    ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, L"C:\\Apps\\Zel Viewer");
    Command(dialog, IDC_NEXT);
    ASSERT_EQ(actions.installDirs.size(), 1u);
    EXPECT_EQ(actions.installDirs[0], L"C:\\Apps\\Zel Viewer");
    EXPECT_EQ(context.plan.installDir, L"C:\\Apps\\Zel Viewer");
    EXPECT_TRUE(actions.boxes.empty());

    // A longer text is cut to 1023 characters, and then refused as too long.
    context.page = Destination;
    ::SendDlgItemMessageW(dialog, IDC_PATH_EDIT, EM_SETLIMITTEXT, 0, 0);
    ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, (L"C:\\" + std::wstring(1100, L'x')).c_str());
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(context.plan.installDir, L"C:\\" + std::wstring(1020, L'x'));
    EXPECT_EQ(actions.installDirs.size(), 1u);
    ASSERT_EQ(actions.boxes.size(), 1u);
    EXPECT_TRUE(actions.boxes[0].text.starts_with(L"インストール先のパスが長すぎます。"));
}

// What cannot work end to end is refused on the page with the reason, like an
// empty destination: the run does not start and the page stays.
TEST_F(WizardDialogTest, DestinationThatCannotWorkWarnsAndStays) {
    const std::wstring windowsFolder = [] {
        wchar_t folder[MAX_PATH] = {};
        ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
        return std::wstring(folder);
    }();
    const struct {
        std::wstring typed;
        std::wstring_view problemStart;
    } cases[] = {
        {L"relapp", L"インストール先には、ドライブ文字から始まるフルパス"},
        {L"   ", L"インストール先には、ドライブ文字から始まるフルパス"},
        {L"C:\\" + std::wstring(300, L'x'), L"インストール先のパスが長すぎます。"},
        {windowsFolder, L"Windows フォルダとその中にはインストールできません。"},
        {L"C:\\", L"ドライブ、Program Files またはユーザー プロファイル"},
    };
    Open();
    GoToDestination();
    for (const auto& c : cases) {
        ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, c.typed.c_str());
        actions.boxes.clear();
        Command(dialog, IDC_NEXT);
        EXPECT_EQ(actions.runs, 0);
        EXPECT_EQ(context.page, Destination);
        ASSERT_EQ(actions.boxes.size(), 1u);
        EXPECT_TRUE(actions.boxes[0].text.starts_with(c.problemStart)) << actions.boxes[0].text.size();
        EXPECT_EQ(actions.boxes[0].caption, L"入力チェック");
        EXPECT_EQ(actions.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    }
}

TEST_F(WizardDialogTest, EmptyDestinationWarnsAndStays) {
    Open();
    GoToDestination();
    ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, L"");
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(actions.runs, 0);
    EXPECT_EQ(context.page, Destination);
    ASSERT_EQ(actions.boxes.size(), 1u);
    EXPECT_EQ(actions.boxes[0].text, L"インストール先フォルダが空です。");
    EXPECT_EQ(actions.boxes[0].caption, L"入力チェック");
    EXPECT_EQ(actions.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
}

TEST_F(WizardDialogTest, FailedRunIsRetriedWithNextAndSuccessShowsFinish) {
    Open();
    GoToDestination();
    actions.onRun = test::FakeRunFailure;
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(context.page, Progress);
    EXPECT_EQ(ItemText(dialog, IDC_TITLE), L"インストール中");
    EXPECT_TRUE(ItemVisible(dialog, IDC_PROGRESS));
    EXPECT_TRUE(ItemVisible(dialog, IDC_LOG));
    EXPECT_FALSE(ItemVisible(dialog, IDC_PATH_EDIT));
    EXPECT_FALSE(ItemEnabled(dialog, IDC_BACK));
    EXPECT_EQ(ItemText(dialog, IDC_NEXT), L"再試行");
    Command(dialog, IDC_BACK);  // Back does nothing on Progress
    EXPECT_EQ(context.page, Progress);

    actions.onRun = test::FakeRunSuccess;
    Command(dialog, IDC_NEXT);
    EXPECT_EQ(actions.runs, 2);
    EXPECT_EQ(context.page, Finish);
    EXPECT_EQ(ItemText(dialog, IDC_TITLE), L"完了");
    EXPECT_EQ(ItemText(dialog, IDC_SUBTITLE), L"Zel Viewer のインストールが完了しました。");
    EXPECT_EQ(ItemText(dialog, IDC_NEXT), L"終了");
    EXPECT_TRUE(ItemEnabled(dialog, IDC_NEXT));
    EXPECT_TRUE(ItemEnabled(dialog, IDC_CANCEL));
    EXPECT_TRUE(Focused(IDC_LOG));

    Command(dialog, IDC_NEXT);
    EXPECT_FALSE(::IsWindowVisible(dialog));  // ended: the system hides an ended dialog
}

TEST_F(WizardDialogTest, EscapeAndCloseBoxLeaveTheWizardOpenOnEveryPage) {
    Open();
    actions.onRun = test::FakeRunStart;
    const std::function<void()> steps[] = {
        [] {},
        [&] { Command(dialog, IDC_NEXT); },
        [&] {
            ClickAccept();
            Command(dialog, IDC_NEXT);
        },
        [&] { Command(dialog, IDC_NEXT); },
        [&] {
            context.page = Finish;
            ShowPage(context);
        },
    };
    std::int32_t expected = Welcome;
    for (const auto& step : steps) {
        step();
        ASSERT_EQ(context.page, expected);
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ::SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        MSG escape{dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
        ::IsDialogMessageW(dialog, &escape);
        test::PumpMessages();
        EXPECT_TRUE(::IsWindowVisible(dialog)) << "page " << expected;
        EXPECT_EQ(context.page, expected);
        ++expected;
    }
}

TEST_F(WizardDialogTest, CancelEndsOnEveryPage) {
    for (std::int32_t page = Welcome; page <= Finish; ++page) {
        SCOPED_TRACE(page);
        Open();
        context.page = static_cast<WizardPage>(page);
        ShowPage(context);
        ASSERT_TRUE(::IsWindowVisible(dialog));
        Command(dialog, IDC_CANCEL);
        EXPECT_FALSE(::IsWindowVisible(dialog));
        ::DestroyWindow(dialog);
        dialog = nullptr;
        context.page = Welcome;
    }
}

TEST_F(WizardDialogTest, MaintenanceModesOpenOnProgressAndStartTheRunFromTheQueue) {
    struct Case {
        bool repair, update;
        const wchar_t* title;
        const wchar_t* subtitle;
    };
    const Case cases[] = {
        {true, false, L"修復中", L"ファイルを再コピーしています。しばらくお待ちください。"},
        {false, true, L"アップデート中", L"新しいバージョンのファイルを適用しています。しばらくお待ちください。"},
        {true, true, L"修復中", L"ファイルを再コピーしています。しばらくお待ちください。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        context.plan.mode = c.repair ? InstallMode::Repair : c.update ? InstallMode::Update : InstallMode::Install;
        context.page = Welcome;
        actions.runs = 0;
        Open();
        EXPECT_EQ(context.page, Progress);
        EXPECT_EQ(ItemText(dialog, IDC_TITLE), c.title);
        EXPECT_EQ(ItemText(dialog, IDC_SUBTITLE), c.subtitle);
        EXPECT_EQ(ItemText(dialog, IDC_NEXT), L"Next");  // the run captions it when it needs to
        EXPECT_FALSE(ItemEnabled(dialog, IDC_NEXT));
        EXPECT_FALSE(ItemEnabled(dialog, IDC_BACK));
        EXPECT_TRUE(ItemVisible(dialog, IDC_LOG));
        EXPECT_EQ(actions.runs, 0);
        test::PumpMessages();
        EXPECT_EQ(actions.runs, 1);
        ::DestroyWindow(dialog);
        dialog = nullptr;
    }
}

TEST_F(WizardDialogTest, FontsAreReleasedWhenTheDialogIsDestroyed) {
    Open();
    HFONT title = context.titleFont;
    HFONT subtitle = context.subtitleFont;
    ASSERT_NE(title, nullptr);
    ASSERT_NE(subtitle, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendDlgItemMessageW(dialog, IDC_TITLE, WM_GETFONT, 0, 0)), title);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendDlgItemMessageW(dialog, IDC_SUBTITLE, WM_GETFONT, 0, 0)), subtitle);
    ::DestroyWindow(dialog);
    dialog = nullptr;
    EXPECT_EQ(context.titleFont, nullptr);
    EXPECT_EQ(context.subtitleFont, nullptr);
    EXPECT_EQ(::GetObjectType(title), 0u);
    EXPECT_EQ(::GetObjectType(subtitle), 0u);
}

TEST(WizardModalTest, CancelEndsTheModalCallAsCancelled) {
    test::LoadDialogLibraries();
    RecordedActions actions;
    WizardState context;
    test::RecordingWizardReporter reporter(context);
    context.plan.config.AppName = L"Zel";
    context.licenseText = L"licence";
    INT_PTR result =
        test::ModalRun::Run(IDD_WIZARD, WizardDialogProc, reinterpret_cast<LPARAM>(&context), [](HWND dialog) {
            ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            Command(dialog, IDC_NEXT);
            Command(dialog, IDC_CANCEL);
        });
    EXPECT_EQ(result, kWizardCancelled);
    EXPECT_EQ(context.page, License);
}

TEST(WizardModalTest, RepairRunsFromThePostedMessageAndFinishEndsAsFinished) {
    test::LoadDialogLibraries();
    RecordedActions actions;
    WizardState context;
    test::RecordingWizardReporter reporter(context);
    context.plan.config.AppName = L"Zel";
    context.licenseText = L"licence";
    context.plan.mode = InstallMode::Repair;
    actions.onRun = test::FakeRunSuccess;
    INT_PTR result =
        test::ModalRun::Run(IDD_WIZARD, WizardDialogProc, reinterpret_cast<LPARAM>(&context), [&](HWND dialog) {
            EXPECT_EQ(actions.runs, 1);
            EXPECT_EQ(ItemText(dialog, IDC_TITLE), L"修復完了");
            Command(dialog, IDC_NEXT);
        });
    EXPECT_EQ(result, kWizardFinished);
    EXPECT_EQ(actions.runs, 1);
    EXPECT_EQ(context.titleFont, nullptr);
}

// A context without a reporter has nowhere to send the run's log and messages:
// the wizard ends before it is shown, and nothing of it stays behind.
TEST(WizardModalTest, WithoutAReporterEndsAtOnceAsNotStarted) {
    test::LoadDialogLibraries();
    RecordedActions actions;
    WizardState context;
    context.plan.config.AppName = L"Zel";
    context.plan.mode = InstallMode::Repair;  // would start the run straight away
    bool shown = false;
    INT_PTR result = test::ModalRun::Run(IDD_WIZARD, WizardDialogProc, reinterpret_cast<LPARAM>(&context),
                                         [&](HWND) { shown = true; });
    EXPECT_EQ(result, kWizardNotStarted);
    EXPECT_FALSE(shown);
    EXPECT_EQ(context.hwnd, nullptr);
    EXPECT_EQ(context.titleFont, nullptr);
    EXPECT_EQ(actions.runs, 0);
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

// Drives the folder browser from a timer inside its own modal loop.
class BrowserDriver {
public:
    static inline HWND wizard = nullptr;
    static inline bool choose = false;  // OK on C:\windows instead of Cancel
    static inline std::wstring titleSeen;
    static inline bool ownedByWizard = false;

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        HWND browser = nullptr;
        EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM found) {
                if (window != wizard && ::IsWindowVisible(window)) {
                    *reinterpret_cast<HWND*>(found) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&browser));
        if (!browser) return;
        ::KillTimer(nullptr, id);
        ownedByWizard = ::GetWindow(browser, GW_OWNER) == wizard;
        EnumChildWindows(
            browser,
            [](HWND child, LPARAM) {
                if (test::WindowText(child) == L"インストール先フォルダを選択") titleSeen = test::WindowText(child);
                return TRUE;
            },
            0);
        if (choose) {
            ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:\\windows"));
            ::PostMessageW(browser, WM_COMMAND, IDOK, 0);
        } else {
            ::PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
        }
    }
};

TEST_F(WizardDialogTest, BrowseFillsThePathOnlyWhenAFolderIsChosen) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Open();
    GoToDestination();
    ::SetDlgItemTextW(dialog, IDC_PATH_EDIT, L"D:\\typed");
    BrowserDriver::wizard = dialog;
    for (bool choose : {false, true}) {
        SCOPED_TRACE(choose ? "OK" : "Cancel");
        BrowserDriver::choose = choose;
        BrowserDriver::titleSeen.clear();
        BrowserDriver::ownedByWizard = false;
        UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &BrowserDriver::OnTimer);
        Command(dialog, IDC_BROWSE);
        ::KillTimer(nullptr, timer);
        EXPECT_EQ(BrowserDriver::titleSeen, L"インストール先フォルダを選択");
        EXPECT_TRUE(BrowserDriver::ownedByWizard);
        std::wstring path = ItemText(dialog, IDC_PATH_EDIT);
        if (choose) {
            EXPECT_EQ(_wcsicmp(path.c_str(), L"C:\\windows"), 0) << testing::PrintToString(path);
        } else {
            EXPECT_EQ(path, L"D:\\typed");
        }
    }
    EXPECT_EQ(context.page, Destination);
    EXPECT_EQ(actions.runs, 0);
    ::DestroyWindow(dialog);
    dialog = nullptr;
    ::CoUninitialize();
}

TEST_F(WizardDialogTest, SessionEndRemovesTheExtractionFolder) {
    Open();
    test::ExpectSessionEndRemovesTheExtractionFolder(dialog);
}

}  // namespace
}  // namespace zel
