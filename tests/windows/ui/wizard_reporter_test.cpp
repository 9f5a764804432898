// The wizard's answer to the install run, on a real wizard dialog: log control
// and log file, progress bar, pages, retry, and boxes owned by the wizard.
#include "ui/wizard_reporter.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/scratch_folder.h"
#include "windows/ui/ui_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::ItemText;
using test::RecordedActions;

class WizardReporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadDialogLibraries();
        context.plan.config.AppName = L"Zel Viewer";
        context.licenseText = L"licence";
        std::wstring error;
        ASSERT_TRUE(logFile.Open(logPath.wstring(), error));
        dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WIZARD), nullptr,
                                      WizardDialogProc, reinterpret_cast<LPARAM>(&context));
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        if (dialog) ::DestroyWindow(dialog);
        logFile = LogFile();
    }

    RecordedActions actions;
    WizardState context;
    const test::ScratchFolder scratch{L"wizard_reporter"};
    const fs::path logPath = scratch / L"setup.log";
    LogFile logFile;
    // Records boxes instead of showing them; writes the log file like the real one.
    class Reporter : public WizardReporter {
    public:
        Reporter(WizardState& context, LogFile* logFile) : WizardReporter(context, logFile) { context.reporter = this; }

    protected:
        int ShowBox(HWND owner, const std::wstring& title, const std::wstring& text, UINT style) override {
            owners.push_back(owner);
            RecordedActions::boxes.push_back(RecordedActions::Box{text, title, style});
            return IDOK;
        }

    public:
        std::vector<HWND> owners;
    } reporter{context, &logFile};
    HWND dialog = nullptr;
};

TEST_F(WizardReporterTest, RunLinesGoToTheLogControlAndTheLogFile) {
    ::SetDlgItemTextW(dialog, IDC_LOG, L"left over\r\n");
    reporter.InstallStarted();
    EXPECT_EQ(context.page, Progress);
    EXPECT_EQ(ItemText(dialog, IDC_LOG), L"");
    reporter.Log(L"コピー: App.exe");
    reporter.Log(L"[警告] 二行目");
    // During a run the control takes its lines in batches; all are in by its end.
    reporter.InstallFinished(true);
    EXPECT_EQ(ItemText(dialog, IDC_LOG), L"コピー: App.exe\r\n[警告] 二行目\r\n");
    const std::string file = test::ReadFile(logPath);
    EXPECT_NE(file.find(" \xE3\x82\xB3\xE3\x83\x94\xE3\x83\xBC: App.exe\r\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("left over"), std::string::npos);
}

TEST_F(WizardReporterTest, ProgressRangeStartsAtZeroAndFollowsThePosition) {
    reporter.InstallStarted();
    reporter.SetProgressRange(5);
    PBRANGE range{};
    ::SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 5);
    EXPECT_EQ(::SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0), 0);
    reporter.SetProgressPosition(3);
    EXPECT_EQ(::SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0), 3);
}

TEST_F(WizardReporterTest, FailureOffersRetryAndItsBoxIsOwnedByTheWizardAndLogged) {
    reporter.InstallStarted();
    reporter.Notify(NoticeKind::Error, L"エラー", L"インストールに失敗しました。");
    reporter.InstallFinished(false);
    ASSERT_EQ(actions.boxes.size(), 1u);
    EXPECT_EQ(actions.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(reporter.owners, std::vector<HWND>{dialog});
    EXPECT_EQ(context.page, Progress);
    EXPECT_EQ(ItemText(dialog, IDC_NEXT), L"再試行");
    EXPECT_TRUE(test::ItemEnabled(dialog, IDC_NEXT));
    EXPECT_NE(test::ReadFile(logPath).find(" [\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC] "), std::string::npos);

    reporter.InstallStarted();
    reporter.InstallFinished(true);
    EXPECT_EQ(context.page, Finish);
}

TEST_F(WizardReporterTest, QuestionIsAskedWithNoAsDefaultWhateverTheQuietAnswer) {
    EXPECT_FALSE(reporter.Ask(L"確認", L"よろしいですか？", true)) << "IDOK is no Yes";
    ASSERT_EQ(actions.boxes.size(), 1u);
    EXPECT_EQ(actions.boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
}

}  // namespace
}  // namespace zel
