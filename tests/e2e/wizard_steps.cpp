#include "wizard_steps.h"

#include <gtest/gtest.h>

#include "automation/ui.h"
#include "e2e_fixture.h"

namespace zel::e2e {

std::string PageName(WizardPage page) {
    switch (page) {
        case WizardPage::Welcome:
            return "Welcome";
        case WizardPage::License:
            return "License";
        case WizardPage::Destination:
            return "Destination";
        case WizardPage::Progress:
            return "Progress";
        case WizardPage::Finish:
            return "Finish";
    }
    return "?";
}

std::wstring PageTitle(WizardPage page, Mode mode) {
    switch (page) {
        case WizardPage::Welcome:
            return Sample().appName + L" セットアップ";
        case WizardPage::License:
            return L"使用許諾契約";
        case WizardPage::Destination:
            return L"インストール先の選択";
        case WizardPage::Progress:
            return mode == Mode::Repair ? L"修復中" : mode == Mode::Update ? L"アップデート中" : L"インストール中";
        case WizardPage::Finish:
            return mode == Mode::Repair ? L"修復完了" : mode == Mode::Update ? L"アップデート完了" : L"完了";
    }
    return {};
}

bool WaitForPage(HWND wizard, WizardPage page, Mode mode, std::chrono::milliseconds timeout) {
    const std::wstring title = PageTitle(page, mode);
    return WaitFor([&] { return ControlText(wizard, kTitle) == title; }, timeout);
}

void ExpectPage(HWND wizard, WizardPage page, Mode mode) {
    EXPECT_EQ(U8(ControlText(wizard, kTitle)), U8(PageTitle(page, mode))) << "page " << PageName(page);
    const bool destination = page == WizardPage::Destination;
    const bool license = page == WizardPage::License;
    const bool progress = page == WizardPage::Progress || page == WizardPage::Finish;
    for (int id : {kPathLabel, kPathEdit, kBrowse}) EXPECT_EQ(IsControlVisible(wizard, id), destination) << id;
    for (int id : {kLicenseText, kAccept}) EXPECT_EQ(IsControlVisible(wizard, id), license) << id;
    for (int id : {kProgress, kLog}) EXPECT_EQ(IsControlVisible(wizard, id), progress) << id;
    for (int id : {kTitle, kSubtitle, kBack, kNext, kCancel}) EXPECT_TRUE(IsControlVisible(wizard, id)) << id;
    EXPECT_TRUE(IsControlEnabled(wizard, kCancel));
}

bool GoNext(HWND wizard, WizardPage expected) {
    Click(wizard, kNext);
    const bool reached = WaitForPage(wizard, expected);
    EXPECT_TRUE(reached) << "Next did not lead to " << PageName(expected) << "; title is "
                         << U8(ControlText(wizard, kTitle));
    return reached;
}

bool GoBack(HWND wizard, WizardPage expected) {
    Click(wizard, kBack);
    const bool reached = WaitForPage(wizard, expected);
    EXPECT_TRUE(reached) << "Back did not lead to " << PageName(expected);
    return reached;
}

bool SetAccepted(HWND wizard, bool accepted) {
    if (IsControlChecked(wizard, kAccept) != accepted) Click(wizard, kAccept);
    const bool done = WaitFor(
        [&] { return IsControlChecked(wizard, kAccept) == accepted && IsControlEnabled(wizard, kNext) == accepted; });
    EXPECT_TRUE(done) << "the accept box did not become " << accepted << " with Next following it";
    return done;
}

void ExpectStaysOpen(const Process& process, HWND window, WizardPage page, Mode mode) {
    struct Gesture {
        const char* name;
        void (*act)(HWND);
    };
    for (const Gesture& gesture : {Gesture{"Escape key", PressEscapeKey}, Gesture{"IDCANCEL", SendCancelCommand},
                                   Gesture{"close box", PressCloseBox}}) {
        gesture.act(window);
        Settle(window, 500ms);
        EXPECT_TRUE(process.IsRunning()) << gesture.name << " on " << PageName(page) << " ended the program";
        EXPECT_TRUE(::IsWindow(window) && ::IsWindowVisible(window)) << gesture.name << " on " << PageName(page);
        EXPECT_EQ(U8(ControlText(window, kTitle)), U8(PageTitle(page, mode))) << gesture.name;
        EXPECT_EQ(FindProcessWindow(process.id(), WindowKind::MessageBox), nullptr) << gesture.name << " opened a box";
    }
}

void ExpectMaintenanceStaysOpen(const Process& process, HWND dialog) {
    for (void (*act)(HWND) : {PressEscapeKey, SendCancelCommand, PressCloseBox}) {
        act(dialog);
        Settle(dialog, 500ms);
        EXPECT_TRUE(process.IsRunning());
        EXPECT_TRUE(::IsWindow(dialog) && ::IsWindowVisible(dialog));
    }
}

bool StartInstall(HWND wizard, const std::wstring& folder) {
    if (!GoNext(wizard, WizardPage::License) || !SetAccepted(wizard, true) || !GoNext(wizard, WizardPage::Destination))
        return false;
    if (!TypeText(wizard, kPathEdit, folder)) {
        ADD_FAILURE() << "cannot type the destination";
        return false;
    }
    Click(wizard, kNext);
    return true;
}

}  // namespace zel::e2e
