// The automation reads and answers message boxes of another process correctly,
// icon included, and quotes command lines the way the started program splits them.
#include <windows.h>

#include <shellapi.h>

#include "automation/payload_tools.h"
#include "automation/screenshot.h"
#include "e2e_fixture.h"

namespace zel::e2e {
namespace {

std::filesystem::path BoxHelper() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path() / L"e2e_box_helper.exe";
}

TEST(AutomationQuoting, ArgumentsSurviveCommandLineToArgvW) {
    const std::vector<std::wstring> arguments = {
        L"plain",           L"",   L"two words",  L"say \"hi\"", L"C:\\Program Files\\",
        L"back\\\\slash\\", L"\"", L"/uninstall", L"{ABC}",      L"ゼルビューア"};
    std::wstring line = L"program.exe";
    for (const std::wstring& argument : arguments) line += L" " + QuoteArgument(argument);
    int count = 0;
    wchar_t** split = ::CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(split, nullptr);
    ASSERT_EQ(count, static_cast<int>(arguments.size()) + 1);
    for (std::size_t i = 0; i < arguments.size(); ++i) EXPECT_EQ(U8(split[i + 1]), U8(arguments[i])) << i;
    ::LocalFree(split);
}

struct BoxCase {
    const wchar_t* iconArgument;
    BoxIcon icon;
    std::vector<int> buttons;
    int answer;
};

class AutomationBoxTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(AutomationBoxTest, ReadsTitleTextIconAndButtonsAndAnswers) {
    const BoxCase& c = GetParam();
    const std::wstring title = L"入力チェック";
    const std::wstring text = L"一行目\n二行目: インストール先フォルダが空です。";
    Process process = StartProcess(BoxHelper(), {c.iconArgument, title, text});
    ASSERT_TRUE(process);
    HWND box = WaitForProcessWindow(process.id(), WindowKind::MessageBox);
    ASSERT_NE(box, nullptr);
    Settle(box, 300ms);
    const MessageBoxContent content = ReadMessageBox(box);
    SaveScreenshot(box, CurrentTestName());
    EXPECT_EQ(U8(content.title), U8(title));
    EXPECT_EQ(U8(content.text), U8(text));
    EXPECT_EQ(content.icon, c.icon) << "read " << BoxIconName(content.icon) << ", expected " << BoxIconName(c.icon);
    RecordProperty("iconFoundBy", content.iconFoundBy);
    EXPECT_EQ(content.buttons, c.buttons);
    Click(box, c.answer);
    EXPECT_EQ(process.Wait(kWindowTimeout), std::optional<DWORD>(c.answer));
}

INSTANTIATE_TEST_SUITE_P(Icons, AutomationBoxTest,
                         ::testing::Values(BoxCase{L"error", BoxIcon::Error, {IDOK}, IDOK},
                                           BoxCase{L"warning", BoxIcon::Warning, {IDOK}, IDOK},
                                           BoxCase{L"information", BoxIcon::Information, {IDOK}, IDOK},
                                           BoxCase{L"question", BoxIcon::Question, {IDYES, IDNO}, IDNO},
                                           BoxCase{L"none", BoxIcon::None, {IDOK}, IDOK}),
                         [](const ::testing::TestParamInfo<BoxCase>& info) { return U8(info.param.iconArgument); });

// The variants the start-up tests run are what they claim to be.
class AutomationPayloadTest : public E2eTest {};

TEST_F(AutomationPayloadTest, EmbeddedArchiveReadsBackAndTheMagicCanBeDamaged) {
    const Bytes archive = BuildArchive(ReadProductFolder(GetInputs().sampleDir));
    ASSERT_GT(archive.size(), 16u);
    std::wstring error;
    const std::filesystem::path variant = scratch_ / L"variant.exe";
    ASSERT_TRUE(EmbedPayload(GetInputs().stubExe, variant, archive, error)) << U8(error);
    EXPECT_EQ(ReadPayloadResource(variant), std::optional<Bytes>(archive));
    EXPECT_FALSE(ReadPayloadResource(GetInputs().stubExe).has_value()) << "the stub carries no payload";

    const std::optional<Bytes> built = ReadPayloadResource(GetInputs().setupExe);
    ASSERT_TRUE(built.has_value());
    const std::filesystem::path corrupt = scratch_ / L"corrupt.exe";
    ASSERT_TRUE(WriteWithCorruptMagic(GetInputs().setupExe, corrupt, error)) << U8(error);
    const std::optional<Bytes> damaged = ReadPayloadResource(corrupt);
    ASSERT_TRUE(damaged.has_value());
    ASSERT_EQ(damaged->size(), built->size());
    EXPECT_EQ(std::string(damaged->begin(), damaged->begin() + 8), "ZELSETUQ");
    EXPECT_TRUE(std::equal(damaged->begin() + 8, damaged->end(), built->begin() + 8));
}

}  // namespace
}  // namespace zel::e2e
