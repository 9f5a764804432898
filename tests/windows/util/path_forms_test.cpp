// Path confinement as the file system resolves paths, against the real file system.
#include "util/path_forms.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <filesystem>
#include <string>

#include "common/path_cases.h"
#include "common/show_text.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::Show;

fs::path Canonical(const fs::path& path) {
    fs::path result;
    EXPECT_TRUE(WeaklyCanonical(path, result)) << path;
    return result;
}

TEST(PathConfinement, InsideAndParentTables) {
    for (const auto& c : test::kInsideCases) {
        EXPECT_EQ(IsPathInside(c.folder, c.path), c.inside) << Show(c.folder) << " | " << Show(c.path);
    }
    for (const auto& c : test::kParentReferenceCases) {
        EXPECT_EQ(HasParentReference(c.path), c.hasParent) << Show(c.path);
    }
}

TEST(PathConfinement, WeaklyCanonicalResolvesTheExistingPart) {
    wchar_t buffer[MAX_PATH];
    const std::wstring system(buffer, ::GetSystemDirectoryW(buffer, MAX_PATH));
    const fs::path resolved = Canonical(system);
    ASSERT_FALSE(resolved.empty());
    EXPECT_NE(resolved.native().rfind(L"\\\\?\\", 0), 0u) << Show(resolved.native());
    EXPECT_TRUE(fs::is_directory(resolved));

    // The existing part takes the spelling the file system reports; the missing
    // rest is appended as written, "." and ".." resolved.
    std::wstring shouted = system;
    for (wchar_t& c : shouted) c = static_cast<wchar_t>(::towupper(c));
    EXPECT_EQ(Canonical(shouted + L"\\ZelNoSuch\\.\\Sub\\..\\X.dll"), resolved / L"ZelNoSuch" / L"X.dll");
    EXPECT_EQ(Canonical(L"\\\\?\\" + system), resolved);
    EXPECT_EQ(Canonical(system + L"\\"), resolved);
    EXPECT_EQ(Canonical(system + L"\\..\\" + resolved.filename().wstring()), resolved);

    // Nothing of it exists, not even the drive: the lexically normal form.
    EXPECT_EQ(Canonical(L"Q:\\ZelNoSuch\\a\\..\\b"), fs::path(L"Q:\\ZelNoSuch\\b"));

    // A relative path is taken from the current folder.
    EXPECT_EQ(Canonical(L"."), Canonical(fs::current_path()));

    fs::path ignored;
    EXPECT_FALSE(WeaklyCanonical(L"", ignored));
}

}  // namespace
}  // namespace zel
