// The [Files] pattern rules, compiled into the native tests (under the
// sanitizers) and into the Windows tests, where the 16-bit wchar_t puts
// characters outside the BMP into surrogate pairs.
#include "install/files/files_pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/files_pattern_cases.h"
#include "common/show_text.h"
#include "util/unicode.h"

namespace zel {
namespace {

using test::Show;

TEST(FilesPattern, TableOfCases) {
    for (const auto& c : test::kFilesPatternCases) {
        EXPECT_EQ(MatchFilesPattern(c.rel, c.pattern), c.selected)
            << "rel \"" << Show(c.rel) << "\" pattern \"" << Show(c.pattern) << "\"";
    }
}

TEST(FilesPattern, LicenseRelativePath) {
    for (const auto& c : test::kLicensePathCases) {
        EXPECT_EQ(LicenseRelativePath(c.licenseFile), std::wstring(c.relative)) << Show(c.licenseFile);
    }
}

// Many stars against a long text that almost matches must not explode.
TEST(FilesPattern, ManyStarsStayFast) {
    const std::wstring text(20000, L'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MatchDosWildcard(text, L"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchDosWildcard(text + L"b", L"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_FALSE(MatchDosWildcard(text, L"*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*b"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace zel
