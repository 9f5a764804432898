#include "ui/dialog_look.h"

#include <gtest/gtest.h>

#include <string>

#include "util/unique_handle.h"
#include "windows/ui/ui_test_support.h"

namespace zel {
namespace {

using test::Capture;
using test::ColorText;
using test::Near;

constexpr COLORREF kBandTop = RGB(18, 72, 140);
constexpr COLORREF kBandBottom = RGB(10, 40, 90);
constexpr COLORREF kSeparator = RGB(210, 210, 210);
constexpr COLORREF kHeaderBackground = RGB(245, 247, 250);
constexpr COLORREF kTitleText = RGB(18, 72, 140);
constexpr COLORREF kBodyText = RGB(30, 30, 30);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kSentinel = RGB(1, 2, 3);

int ScreenDpi() {
    const WindowDc screen;
    return ::GetDeviceCaps(screen.get(), LOGPIXELSY);
}

LOGFONTW FontOf(HWND dialog, int id) {
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(::SendDlgItemMessageW(dialog, id, WM_GETFONT, 0, 0));
    ::GetObjectW(handle, sizeof(font), &font);
    return font;
}

TEST(DialogLookTest, CenteredPositionUsesIntegerHalvesOfTheWorkArea) {
    struct Case {
        RECT window;
        RECT work;
        POINT expected;
    };
    const Case cases[] = {
        {{0, 0, 100, 50}, {0, 0, 1000, 800}, {450, 375}},
        {{300, 200, 401, 251}, {0, 0, 1000, 800}, {449, 374}},    // odd sizes round toward zero
        {{0, 0, 640, 480}, {1920, 40, 3840, 1080}, {2560, 320}},  // second monitor, taskbar on top
        {{0, 0, 1200, 900}, {0, 0, 1000, 800}, {-100, -50}},      // larger than the work area
        {{0, 0, 1201, 901}, {100, 100, 1100, 900}, {100 + -100, 100 + -50}},
    };
    for (const Case& c : cases) {
        POINT p = CenteredPosition(c.window, c.work);
        EXPECT_EQ(p.x, c.expected.x);
        EXPECT_EQ(p.y, c.expected.y);
    }
}

TEST(DialogLookTest, CreateDialogFontFollowsTheScreenResolution) {
    int dpi = ScreenDpi();
    UniqueGdiObject title(CreateDialogFont(12, true));
    UniqueGdiObject body(CreateDialogFont(9, false));
    LOGFONTW titleFont{}, bodyFont{};
    ::GetObjectW(title.get(), sizeof(titleFont), &titleFont);
    ::GetObjectW(body.get(), sizeof(bodyFont), &bodyFont);
    EXPECT_EQ(titleFont.lfHeight, -::MulDiv(12, dpi, 72));
    EXPECT_EQ(bodyFont.lfHeight, -::MulDiv(9, dpi, 72));
    if (dpi == 96) {
        EXPECT_EQ(titleFont.lfHeight, -16);
        EXPECT_EQ(bodyFont.lfHeight, -12);
    } else if (dpi == 144) {
        EXPECT_EQ(titleFont.lfHeight, -24);
        EXPECT_EQ(bodyFont.lfHeight, -18);
    }
    EXPECT_EQ(titleFont.lfWeight, FW_BOLD);
    EXPECT_EQ(bodyFont.lfWeight, FW_NORMAL);
    EXPECT_STREQ(titleFont.lfFaceName, L"Segoe UI");
    EXPECT_EQ(titleFont.lfItalic, 0);
    EXPECT_EQ(titleFont.lfCharSet, 0);
    std::printf("screen resolution %d dpi: title %ld px, subtitle %ld px\n", dpi, -titleFont.lfHeight,
                -bodyFont.lfHeight);
}

// Both dialogs, opened modelessly with records that outlive them.
class LookTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadDialogLibraries();
        context.plan.config.AppName = L"Zel Viewer";
        context.plan.config.AppVersion = L"2.0";
        context.licenseText = L"licence";
        context.plan.installDir = L"C:\\Zel";
        product.installLocation = L"C:\\Zel";
        product.displayVersion = L"1.0";
        params.config = &context.plan.config;
        params.product = &product;
    }
    void TearDown() override {
        if (dialog) ::DestroyWindow(dialog);
    }
    HWND OpenWizard() {
        return Show(::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WIZARD), nullptr,
                                         WizardDialogProc, reinterpret_cast<LPARAM>(&context)));
    }
    HWND OpenMaintenance() {
        return Show(::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAINTENANCE), nullptr,
                                         MaintenanceDialogProc, reinterpret_cast<LPARAM>(&params)));
    }
    HWND Show(HWND created) {
        dialog = created;
        EXPECT_NE(dialog, nullptr);
        ::ShowWindow(dialog, SW_SHOW);
        ::UpdateWindow(dialog);
        test::PumpMessages();
        return dialog;
    }
    void Close() {
        ::DestroyWindow(dialog);
        dialog = nullptr;
    }

    test::RecordedActions actions;
    WizardState context;
    test::RecordingWizardReporter reporter{context};
    InstalledProduct product;
    MaintenanceParams params;
    HWND dialog = nullptr;
};

TEST_F(LookTest, TitleAndSubtitleFontsOfBothDialogs) {
    int dpi = ScreenDpi();
    for (bool wizard : {true, false}) {
        SCOPED_TRACE(wizard ? "wizard" : "maintenance");
        wizard ? OpenWizard() : OpenMaintenance();
        LOGFONTW title = FontOf(dialog, IDC_TITLE);
        LOGFONTW subtitle = FontOf(dialog, IDC_SUBTITLE);
        EXPECT_EQ(title.lfHeight, -::MulDiv(12, dpi, 72));
        EXPECT_EQ(subtitle.lfHeight, -::MulDiv(9, dpi, 72));
        EXPECT_EQ(title.lfWeight, FW_BOLD);
        EXPECT_EQ(subtitle.lfWeight, FW_NORMAL);
        EXPECT_STREQ(title.lfFaceName, L"Segoe UI");
        EXPECT_STREQ(subtitle.lfFaceName, L"Segoe UI");
        Close();
    }
}

TEST_F(LookTest, BothDialogsOpenCentredOnTheWorkArea) {
    for (bool wizard : {true, false}) {
        SCOPED_TRACE(wizard ? "wizard" : "maintenance");
        wizard ? OpenWizard() : OpenMaintenance();
        RECT window{};
        ::GetWindowRect(dialog, &window);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
        POINT expected = CenteredPosition(window, monitor.rcWork);
        EXPECT_EQ(window.left, expected.x);
        EXPECT_EQ(window.top, expected.y);
        Close();
    }
}

struct ColorAnswer {
    HBRUSH brush;
    COLORREF brushColor;
    COLORREF textColor;
    COLORREF backColor;
    int backMode;
};

ColorAnswer AskColor(HWND dialog, UINT message, HWND control) {
    const MemoryDc memory;
    const HDC dc = memory.get();
    ::SetTextColor(dc, kSentinel);
    ::SetBkColor(dc, kSentinel);
    ::SetBkMode(dc, OPAQUE + TRANSPARENT + 7);  // neither mode, to see whether it is set
    ColorAnswer answer{};
    answer.brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(dialog, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
    LOGBRUSH brush{};
    if (answer.brush && ::GetObjectW(answer.brush, sizeof(brush), &brush)) answer.brushColor = brush.lbColor;
    answer.textColor = ::GetTextColor(dc);
    answer.backColor = ::GetBkColor(dc);
    answer.backMode = ::GetBkMode(dc);
    return answer;
}

TEST_F(LookTest, ControlColoursOfTheWizard) {
    OpenWizard();
    // An extra edit control stands for any "Edit" whose id the rules do not name.
    HWND extraEdit = ::CreateWindowExW(0, L"eDiT", L"", WS_CHILD | ES_READONLY, 0, 0, 10, 10, dialog,
                                       reinterpret_cast<HMENU>(1050), nullptr, nullptr);
    HBRUSH white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    struct Case {
        UINT message;
        HWND control;
        bool stockWhite;
        COLORREF brush, text;
        int mode;  // 0: not set
    };
    const Case cases[] = {
        {WM_CTLCOLORDLG, dialog, true, kWhite, kSentinel, 0},
        {WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_TITLE), false, kHeaderBackground, kTitleText, TRANSPARENT},
        {WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_SUBTITLE), false, kHeaderBackground, kBodyText, TRANSPARENT},
        {WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_LOG), true, kWhite, kBodyText, OPAQUE},
        {WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_LICENSE_TEXT), true, kWhite, kBodyText, OPAQUE},
        {WM_CTLCOLORSTATIC, extraEdit, true, kWhite, kBodyText, OPAQUE},
        {WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_PATH_LABEL), true, kWhite, kSentinel, TRANSPARENT},
        {WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_LICENSE_ACCEPT), true, kWhite, kSentinel, TRANSPARENT},
        {WM_CTLCOLOREDIT, ::GetDlgItem(dialog, IDC_PATH_EDIT), true, kWhite, kBodyText, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message " << c.message << " control " << ::GetDlgCtrlID(c.control));
        ColorAnswer answer = AskColor(dialog, c.message, c.control);
        ASSERT_NE(answer.brush, nullptr);
        if (c.stockWhite) {
            EXPECT_EQ(answer.brush, white);
        }
        EXPECT_EQ(answer.brushColor, c.brush) << ColorText(answer.brushColor);
        EXPECT_EQ(answer.textColor, c.text) << ColorText(answer.textColor);
        if (c.mode) {
            EXPECT_EQ(answer.backMode, c.mode);
        }
        if (c.mode == OPAQUE || c.message == WM_CTLCOLOREDIT) {
            EXPECT_EQ(answer.backColor, kWhite);
        }
    }

    // One brush per control, kept: the same handle every time, title and subtitle apart.
    HBRUSH title = AskColor(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_TITLE)).brush;
    HBRUSH subtitle = AskColor(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_SUBTITLE)).brush;
    EXPECT_NE(title, subtitle);
    Close();
    OpenWizard();
    EXPECT_EQ(AskColor(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_TITLE)).brush, title);
}

TEST_F(LookTest, ControlColoursOfTheMaintenanceDialog) {
    OpenMaintenance();
    HWND extraEdit = ::CreateWindowExW(0, L"Edit", L"", WS_CHILD | ES_READONLY, 0, 0, 10, 10, dialog,
                                       reinterpret_cast<HMENU>(1050), nullptr, nullptr);
    HBRUSH white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));

    ColorAnswer title = AskColor(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_TITLE));
    EXPECT_EQ(title.brushColor, kHeaderBackground);
    EXPECT_EQ(title.textColor, kTitleText);
    ColorAnswer subtitle = AskColor(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_SUBTITLE));
    EXPECT_EQ(subtitle.brushColor, kHeaderBackground);
    EXPECT_EQ(subtitle.textColor, kBodyText);
    ColorAnswer radio = AskColor(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_MAINT_REPAIR));
    EXPECT_EQ(radio.brush, white);
    EXPECT_EQ(radio.backMode, TRANSPARENT);
    EXPECT_EQ(AskColor(dialog, WM_CTLCOLORDLG, dialog).brush, white);
    // No class test here: an edit is just another control.
    ColorAnswer edit = AskColor(dialog, WM_CTLCOLORSTATIC, extraEdit);
    EXPECT_EQ(edit.brush, white);
    EXPECT_EQ(edit.backMode, TRANSPARENT);
    EXPECT_EQ(edit.textColor, kSentinel);
    // WM_CTLCOLOREDIT is left to the system.
    EXPECT_NE(AskColor(dialog, WM_CTLCOLOREDIT, extraEdit).brush, white);

    // The maintenance dialog has brushes of its own.
    HBRUSH maintenanceTitle = title.brush;
    Close();
    OpenWizard();
    EXPECT_NE(AskColor(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_TITLE)).brush, maintenanceTitle);
}

POINT ScreenPointOf(HWND dialog, int id) {
    RECT rect{};
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

LPARAM PointParam(POINT p) { return MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)); }

TEST_F(LookTest, WheelOverTheTextScrollsItWhateverHasTheFocus) {
    for (int i = 0; i < 300; ++i) context.licenseText += L"\r\n第" + std::to_wstring(i) + L"条";
    OpenWizard();
    test::Command(dialog, IDC_NEXT);  // License
    HWND box = ::GetDlgItem(dialog, IDC_LICENSE_ACCEPT);
    HWND license = ::GetDlgItem(dialog, IDC_LICENSE_TEXT);
    ::SetFocus(box);
    ASSERT_EQ(::GetFocus(), box);
    WPARAM down = MAKEWPARAM(0, static_cast<WORD>(-3 * WHEEL_DELTA));

    RECT client{};
    ::GetClientRect(dialog, &client);
    POINT band{50, client.bottom / 2};
    ::ClientToScreen(dialog, &band);
    ::SendMessageW(box, WM_MOUSEWHEEL, down, PointParam(band));
    EXPECT_EQ(::SendMessageW(license, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    ::SendMessageW(box, WM_MOUSEWHEEL, down, PointParam(ScreenPointOf(dialog, IDC_LICENSE_TEXT)));
    EXPECT_GT(::SendMessageW(license, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    // The log on the progress page, turned from the Cancel button.
    context.page = Progress;
    ShowPage(context);
    HWND log = ::GetDlgItem(dialog, IDC_LOG);
    std::wstring lines;
    for (int i = 0; i < 100; ++i) lines += L"コピー: file" + std::to_wstring(i) + L".dll\r\n";
    ::SetWindowTextW(log, lines.c_str());
    HWND cancel = ::GetDlgItem(dialog, IDC_CANCEL);
    ::SendMessageW(cancel, WM_MOUSEWHEEL, down, PointParam(band));
    EXPECT_EQ(::SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    ::SendMessageW(cancel, WM_MOUSEWHEEL, down, PointParam(ScreenPointOf(dialog, IDC_LOG)));
    EXPECT_GT(::SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

// Checks the painted header of a captured dialog and writes the capture out.
void CheckHeaderPixels(HWND dialog, const Capture& image) {
    ASSERT_GT(image.width, 200);
    ASSERT_GT(image.height, 200);
    EXPECT_TRUE(Near(image.At(2, 0), kBandTop, 3)) << ColorText(image.At(2, 0));
    EXPECT_TRUE(Near(image.At(2, image.height - 1), kBandBottom, 3)) << ColorText(image.At(2, image.height - 1));
    // Exactly 110 pixels of band, then the separator column.
    for (int y : {1, 61, image.height / 2, image.height - 2}) {
        EXPECT_TRUE(Near(image.At(109, y), image.At(2, y), 2)) << "y " << y;
        EXPECT_EQ(image.At(110, y), kSeparator) << "y " << y << " " << ColorText(image.At(110, y));
    }
    RECT title = test::ItemRect(dialog, IDC_TITLE);
    for (int x : {111, 115, static_cast<int>(title.left) - 1, image.width - 2}) {
        EXPECT_EQ(image.At(x, kSeparatorY), kSeparator) << "x " << x << " " << ColorText(image.At(x, kSeparatorY));
    }
    EXPECT_EQ(image.At(112, image.height - 4), kWhite) << ColorText(image.At(112, image.height - 4));
    EXPECT_EQ(image.At(112, 30), kWhite);
    // Title background, and title text drawn in the title colour.
    EXPECT_EQ(image.At(title.right - 2, title.bottom - 2), kHeaderBackground)
        << ColorText(image.At(title.right - 2, title.bottom - 2));
    int titlePixels = 0;
    for (int y = title.top; y < title.bottom; ++y) {
        for (int x = title.left; x < title.right; ++x) titlePixels += Near(image.At(x, y), kTitleText, 12) ? 1 : 0;
    }
    EXPECT_GT(titlePixels, 10);
}

// Pixels that differ from the gradient: the band text.
int BandTextPixels(const Capture& image, int fromX, int toX) {
    int count = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = fromX; x < toX; ++x) count += Near(image.At(x, y), image.At(2, y), 8) ? 0 : 1;
    }
    return count;
}

TEST_F(LookTest, PaintedHeaderOfEveryWizardPage) {
    const wchar_t* names[] = {L"welcome", L"license", L"destination", L"progress", L"finish"};
    OpenWizard();
    for (std::int32_t page = Welcome; page <= Finish; ++page) {
        SCOPED_TRACE(page);
        context.page = static_cast<WizardPage>(page);
        ShowPage(context);
        Capture image = test::CaptureClient(dialog);
        test::SaveCapture(image, std::wstring(L"wizard_") + names[page] + L".bmp");
        CheckHeaderPixels(dialog, image);
        EXPECT_GT(BandTextPixels(image, 12, 98), 20);
        EXPECT_EQ(BandTextPixels(image, 98, 110), 0);
    }
}

TEST_F(LookTest, PaintedHeaderOfTheMaintenanceDialog) {
    OpenMaintenance();
    Capture image = test::CaptureClient(dialog);
    test::SaveCapture(image, L"maintenance.bmp");
    CheckHeaderPixels(dialog, image);
    EXPECT_GT(BandTextPixels(image, 12, 98), 20);
}

TEST_F(LookTest, LongApplicationNameWrapsInsideTheBand) {
    context.plan.config.AppName =
        L"Zel Extremely Long Application Name 長いアプリケーション名のテスト Viewer Professional";
    OpenWizard();
    Capture image = test::CaptureClient(dialog);
    test::SaveCapture(image, L"wizard_long_name.bmp");
    int rowsWithText = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 12; x < 98; ++x) {
            if (!Near(image.At(x, y), image.At(2, y), 8)) {
                ++rowsWithText;
                break;
            }
        }
    }
    EXPECT_GT(rowsWithText, 3 * ::MulDiv(11, ScreenDpi(), 72));  // several lines of band text
    EXPECT_EQ(BandTextPixels(image, 98, 110), 0);
    EXPECT_EQ(BandTextPixels(image, 0, 12), 0);
}

}  // namespace
}  // namespace zel
