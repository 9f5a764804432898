#include "config/install_dir_variables.h"

#include <windows.h>
// After windows.h
#include <shlobj.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "util/known_folder.h"
#include "util/unicode.h"

namespace zel {
namespace {

std::optional<std::wstring> Environment(std::wstring_view name) {
    wchar_t value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(std::wstring(name).c_str(), value, 1024);
    if (length == 0 || length >= 1024) return std::nullopt;
    return std::wstring(value, length);
}

std::wstring WindowsExpansion(const std::wstring& text) {
    wchar_t expanded[4096] = {};
    const DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded, 4096);
    return length == 0 ? std::wstring(L"(failed)") : std::wstring(expanded);
}

// A variable set for one test and restored after it.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name), old_(Environment(name)) {
        ::SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

// Over the environment, the expansion is the one Windows does.
TEST(InstallDirVariables, ExpandsAsWindowsExpandsEnvironmentStrings) {
    const ScopedVariable a(L"ZEL_TEST_A", L"1");
    const ScopedVariable b(L"ZEL_TEST_B", L"x%ZEL_TEST_A%");
    for (const std::wstring text :
         {L"%ZEL_TEST_A%\\App", L"C:\\%ZEL_TEST_A%%ZEL_TEST_A%", L"%ZEL_TEST_NONE%\\App", L"%ZEL_TEST_NONE%ZEL_TEST_A%",
          L"%%ZEL_TEST_A%", L"100%\\%ZEL_TEST_A%", L"%ZEL_TEST_NONE%%ZEL_TEST_A%", L"%ZEL_TEST_A", L"%",
          L"%ZEL_TEST_B%", L"%zel_test_a%"}) {
        EXPECT_EQ(WideToUtf8(ExpandVariables(text, Environment)), WideToUtf8(WindowsExpansion(text)))
            << WideToUtf8(text);
    }
}

// Program Files and the system drive come from the system, not from an
// environment that whoever started the run could have set.
TEST(InstallDirVariables, MachineFoldersComeFromTheSystem) {
    const std::wstring programFiles = KnownFolderPath(FOLDERID_ProgramFiles);
    const std::wstring programFilesX86 = KnownFolderPath(FOLDERID_ProgramFilesX86);
    ASSERT_FALSE(programFiles.empty());
    ASSERT_FALSE(programFilesX86.empty());
    const std::wstring drive = WindowsFolderPath().substr(0, 2);
    const ScopedVariable steered(L"ProgramFiles", L"C:\\Users\\Public\\Fake");
    const ScopedVariable other(L"ZEL_TEST_FOLDER", L"D:\\Elsewhere");

    EXPECT_EQ(WideToUtf8(ExpandInstallDirVariables(L"%ProgramFiles%\\Vendor\\App")),
              WideToUtf8(programFiles + L"\\Vendor\\App"));
    EXPECT_EQ(WideToUtf8(ExpandInstallDirVariables(L"%PROGRAMW6432%\\App")), WideToUtf8(programFiles + L"\\App"));
    EXPECT_EQ(WideToUtf8(ExpandInstallDirVariables(L"%ProgramFiles(x86)%\\App")),
              WideToUtf8(programFilesX86 + L"\\App"));
    EXPECT_EQ(WideToUtf8(ExpandInstallDirVariables(L"%SystemDrive%\\Apps\\Zel")), WideToUtf8(drive + L"\\Apps\\Zel"));
    EXPECT_EQ(WideToUtf8(ExpandInstallDirVariables(L"%ZEL_TEST_FOLDER%\\App")), "D:\\Elsewhere\\App");
    EXPECT_EQ(WideToUtf8(ExpandInstallDirVariables(L"%ZEL_TEST_UNSET%\\App")), "%ZEL_TEST_UNSET%\\App");
    EXPECT_EQ(WideToUtf8(ExpandInstallDirVariables(L"C:\\Program Files\\App")), "C:\\Program Files\\App");
}

}  // namespace
}  // namespace zel
