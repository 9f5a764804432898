// The setup wizard walked as a person walks it: pages, licence acceptance,
// the destination check, and the keys and buttons that must not close it.
#include <windows.h>

#include "e2e_fixture.h"
#include "wizard_steps.h"

namespace zel::e2e {
namespace {

class WizardTest : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        if (IsSkipped()) return;
        setup_ = StartProcess(GetInputs().setupExe, {});
        ASSERT_TRUE(setup_);
        wizard_ = Expect(setup_, WindowKind::Wizard, L"welcome");
        ASSERT_NE(wizard_, nullptr);
    }
    void TearDown() override {
        setup_.Terminate();
        E2eTest::TearDown();
    }

    Process setup_;
    HWND wizard_ = nullptr;
};

TEST_F(WizardTest, WalksThePagesAndKeepsTheLicenceRules) {
    const SampleSettings& s = Sample();
    EXPECT_EQ(U8(WindowText(wizard_)), U8(L"セットアップ"));
    ExpectPage(wizard_, WizardPage::Welcome);
    EXPECT_EQ(U8(ControlText(wizard_, kTitle)), U8(s.appName + L" セットアップ"));
    EXPECT_EQ(U8(ControlText(wizard_, kSubtitle)),
              U8(L"ようこそ。このウィザードは " + s.appName + L" をインストールします。"));
    EXPECT_FALSE(IsControlEnabled(wizard_, kBack));
    EXPECT_TRUE(IsControlEnabled(wizard_, kNext));
    EXPECT_EQ(U8(ControlText(wizard_, kNext)), U8(L"次へ"));
    EXPECT_EQ(U8(ControlText(wizard_, kBack)), U8(L"戻る"));
    EXPECT_EQ(U8(ControlText(wizard_, kCancel)), U8(L"キャンセル"));

    // License: Next is disabled until the box is ticked.
    ASSERT_TRUE(GoNext(wizard_, WizardPage::License));
    Snap(wizard_, L"license");
    EXPECT_EQ(U8(ControlText(wizard_, kSubtitle)), U8(L"以下の使用許諾契約を確認し、同意してください。"));
    EXPECT_EQ(U8(ControlText(wizard_, kAccept)), U8(L"使用許諾契約に同意します"));
    EXPECT_FALSE(ControlText(wizard_, kLicenseText).empty()) << "the licence text is shown";
    EXPECT_FALSE(IsControlChecked(wizard_, kAccept));
    EXPECT_FALSE(IsControlEnabled(wizard_, kNext));
    EXPECT_TRUE(IsControlEnabled(wizard_, kBack));
    ASSERT_TRUE(SetAccepted(wizard_, true));
    EXPECT_TRUE(IsControlEnabled(wizard_, kNext));
    ASSERT_TRUE(SetAccepted(wizard_, false));
    EXPECT_FALSE(IsControlEnabled(wizard_, kNext));
    ASSERT_TRUE(SetAccepted(wizard_, true));

    // Back to Welcome and forward again clears the acceptance.
    ASSERT_TRUE(GoBack(wizard_, WizardPage::Welcome));
    ASSERT_TRUE(GoNext(wizard_, WizardPage::License));
    EXPECT_FALSE(IsControlChecked(wizard_, kAccept));
    EXPECT_FALSE(IsControlEnabled(wizard_, kNext));
    ASSERT_TRUE(SetAccepted(wizard_, true));

    // Destination shows the default folder; Back keeps the acceptance.
    ASSERT_TRUE(GoNext(wizard_, WizardPage::Destination));
    Snap(wizard_, L"destination");
    EXPECT_EQ(U8(ControlText(wizard_, kSubtitle)), U8(L"インストールするフォルダを選択してください。"));
    EXPECT_EQ(U8(ControlText(wizard_, kPathLabel)), U8(L"インストール先:"));
    EXPECT_EQ(U8(ControlText(wizard_, kPathEdit)), U8(s.defaultInstallDir));
    EXPECT_EQ(U8(ControlText(wizard_, kBrowse)), U8(L"参照..."));
    EXPECT_EQ(U8(ControlText(wizard_, kNext)), U8(L"インストール"));
    EXPECT_FALSE(IsControlVisible(wizard_, kLicenseText));
    EXPECT_FALSE(IsControlVisible(wizard_, kProgress));
    ASSERT_TRUE(GoBack(wizard_, WizardPage::License));
    EXPECT_TRUE(IsControlChecked(wizard_, kAccept));
    EXPECT_TRUE(IsControlEnabled(wizard_, kNext));
    EXPECT_EQ(U8(ControlText(wizard_, kNext)), U8(L"次へ"));

    Click(wizard_, kCancel);
    EXPECT_EQ(ExitCode(setup_), std::optional<DWORD>(0));
}

TEST_F(WizardTest, EmptyDestinationIsRefusedWithAWarning) {
    ASSERT_TRUE(GoNext(wizard_, WizardPage::License));
    ASSERT_TRUE(SetAccepted(wizard_, true));
    ASSERT_TRUE(GoNext(wizard_, WizardPage::Destination));
    ASSERT_TRUE(TypeText(wizard_, kPathEdit, L""));
    Click(wizard_, kNext);
    HWND box = Expect(setup_, WindowKind::MessageBox, L"empty_destination");
    ASSERT_NE(box, nullptr);
    const MessageBoxContent content = AnswerBox(box, IDOK, L"empty_destination");
    EXPECT_EQ(U8(content.text), U8(L"インストール先フォルダが空です。"));
    EXPECT_EQ(U8(content.title), U8(L"入力チェック"));
    EXPECT_EQ(content.icon, BoxIcon::Warning) << BoxIconName(content.icon);
    EXPECT_EQ(content.buttons, std::vector<int>{IDOK});
    Settle(wizard_);
    ExpectPage(wizard_, WizardPage::Destination);
    EXPECT_TRUE(setup_.IsRunning());
    Click(wizard_, kCancel);
    EXPECT_EQ(ExitCode(setup_), std::optional<DWORD>(0));
}

// A relative destination would land in the elevated process's current folder,
// one too long for the uninstaller could never be removed, a device name cannot
// be a folder, and a % sign breaks the registered uninstall command: each is
// refused on the page with a box that names the problem.
TEST_F(WizardTest, UnusableDestinationsAreRefusedWithAWarning) {
    ASSERT_TRUE(GoNext(wizard_, WizardPage::License));
    ASSERT_TRUE(SetAccepted(wizard_, true));
    ASSERT_TRUE(GoNext(wizard_, WizardPage::Destination));
    const struct {
        const wchar_t* step;
        std::wstring typed;
        std::wstring text;
    } cases[] = {
        {L"relative", L"relapp",
         L"インストール先には、ドライブ文字から始まるフルパスを指定してください (例: C:\\Program Files\\製品名)。"},
        {L"overlong", L"C:\\" + std::wstring(310, L'x'),
         L"インストール先のパスが長すぎます。Uninstall.exe のパスが 259 文字以内に収まるよう、245 "
         L"文字以内のフォルダを指定してください。"},
        {L"percent", L"C:\\Apps\\%OS%\\Zel",
         L"インストール先のパスに % は使えません (アンインストールのコマンドが正しく実行できなくなります): %OS%"},
        {L"console_device", L"C:\\Apps\\conout$.log",
         L"インストール先のパスに、フォルダ名に使えない文字または名前が含まれています: conout$.log"},
        {L"superscript_port", L"C:\\Apps\\LPT\x00B3",
         L"インストール先のパスに、フォルダ名に使えない文字または名前が含まれています: LPT\x00B3"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(TypeText(wizard_, kPathEdit, c.typed));
        Click(wizard_, kNext);
        HWND box = Expect(setup_, WindowKind::MessageBox, c.step);
        ASSERT_NE(box, nullptr);
        const MessageBoxContent content = AnswerBox(box, IDOK, c.step);
        EXPECT_EQ(U8(content.text), U8(c.text));
        EXPECT_EQ(U8(content.title), U8(L"入力チェック"));
        EXPECT_EQ(content.icon, BoxIcon::Warning) << BoxIconName(content.icon);
        Settle(wizard_);
        ExpectPage(wizard_, WizardPage::Destination);
    }
    Click(wizard_, kCancel);
    EXPECT_EQ(ExitCode(setup_), std::optional<DWORD>(0));
}

TEST_F(WizardTest, EscapeAndTheCloseBoxLeaveItOpenOnEveryPage) {
    for (WizardPage page : {WizardPage::Welcome, WizardPage::License, WizardPage::Destination}) {
        if (page == WizardPage::License) {
            ASSERT_TRUE(GoNext(wizard_, WizardPage::License));
        }
        if (page == WizardPage::Destination) {
            ASSERT_TRUE(SetAccepted(wizard_, true));
            ASSERT_TRUE(GoNext(wizard_, WizardPage::Destination));
        }
        ExpectStaysOpen(setup_, wizard_, page);
    }
    Click(wizard_, kCancel);
    EXPECT_EQ(ExitCode(setup_), std::optional<DWORD>(0));
}

class WizardCancelTest : public WizardTest, public ::testing::WithParamInterface<WizardPage> {};

TEST_P(WizardCancelTest, CancelEndsTheProgramWithZero) {
    if (GetParam() != WizardPage::Welcome) {
        ASSERT_TRUE(GoNext(wizard_, WizardPage::License));
    }
    if (GetParam() == WizardPage::Destination) {
        ASSERT_TRUE(SetAccepted(wizard_, true));
        ASSERT_TRUE(GoNext(wizard_, WizardPage::Destination));
    }
    Click(wizard_, kCancel);
    EXPECT_TRUE(WaitForWindowClosed(wizard_));
    EXPECT_EQ(ExitCode(setup_), std::optional<DWORD>(0));
    EXPECT_FALSE(FindProcessWindow(setup_.id(), WindowKind::MessageBox)) << "no confirmation";
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardCancelTest,
                         ::testing::Values(WizardPage::Welcome, WizardPage::License, WizardPage::Destination),
                         [](const ::testing::TestParamInfo<WizardPage>& info) { return PageName(info.param); });

}  // namespace
}  // namespace zel::e2e
