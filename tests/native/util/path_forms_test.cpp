#include "util/path_forms.h"

#include <gtest/gtest.h>

#include "common/path_cases.h"
#include "common/show_text.h"
#include "util/unicode.h"

namespace zel {
namespace {

using test::Show;

TEST(PathForms, InsideTable) {
    for (const auto& c : test::kInsideCases) {
        EXPECT_EQ(IsLexicallyInside(c.folder, c.path), c.inside) << Show(c.folder) << " | " << Show(c.path);
    }
    // UNC roots: the server and share are part of the root.
    EXPECT_TRUE(IsLexicallyInside(L"\\\\srv\\share\\Sys", L"\\\\SRV\\share\\Sys\\a.dll"));
    EXPECT_FALSE(IsLexicallyInside(L"\\\\srv\\share\\Sys", L"\\\\other\\share\\Sys\\a.dll"));
    EXPECT_FALSE(IsLexicallyInside(L"C:\\Sys", L"\\Sys\\a.dll"));
    EXPECT_FALSE(IsLexicallyInside(L"C:\\Sys", L"Sys\\a.dll"));
}

TEST(PathForms, ParentReferenceTable) {
    for (const auto& c : test::kParentReferenceCases) {
        EXPECT_EQ(HasParentReferenceText(c.path), c.hasParent) << Show(c.path);
    }
}

TEST(PathForms, NormalAndRelative) {
    struct Case {
        std::wstring_view in, normal;
    };
    const Case normal[] = {
        {L"C:\\a\\.\\b\\..\\c", L"C:\\a\\c"},
        {L"C:/a//b/", L"C:\\a\\b"},
        {L"C:\\..\\..\\x", L"C:\\x"},
        {L"a\\..\\..\\x", L"..\\x"},
        {L"a\\..", L"."},
        {L"C:\\", L"C:\\"},
        {L"\\\\srv\\sh\\a\\..\\b", L"\\\\srv\\sh\\b"},
        {L"", L""},
    };
    for (const auto& c : normal) EXPECT_EQ(LexicallyNormalPath(c.in), c.normal) << Show(c.in);

    EXPECT_EQ(LexicallyRelativePath(L"C:\\a\\b\\c", L"C:\\a"), L"b\\c");
    EXPECT_EQ(LexicallyRelativePath(L"C:\\a", L"C:\\a\\b\\c"), L"..\\..");
    EXPECT_EQ(LexicallyRelativePath(L"C:\\A\\x", L"c:\\a"), L"x");
    EXPECT_EQ(LexicallyRelativePath(L"C:\\a", L"C:\\a"), L".");
    EXPECT_EQ(LexicallyRelativePath(L"D:\\a", L"C:\\a"), L"");
}

TEST(PathForms, JoinLeafParent) {
    EXPECT_EQ(AppendWindowsPath(L"C:\\E", L"Data\\a.dat"), L"C:\\E\\Data\\a.dat");
    EXPECT_EQ(AppendWindowsPath(L"C:\\E\\", L"a.dat"), L"C:\\E\\a.dat");
    EXPECT_EQ(AppendWindowsPath(L"", L"a.dat"), L"a.dat");
    EXPECT_EQ(AppendWindowsPath(L"C:\\E", L"D:\\x"), L"D:\\x");
    EXPECT_EQ(AppendWindowsPath(L"C:\\E", L"\\x"), L"C:\\x");
    EXPECT_EQ(WindowsPathLeaf(L"C:\\E\\Data"), L"Data");
    EXPECT_EQ(WindowsPathLeaf(L"C:\\E\\Data\\"), L"");
    EXPECT_EQ(WindowsPathLeaf(L"C:\\"), L"");
    EXPECT_EQ(WindowsPathParent(L"C:\\E\\Data"), L"C:\\E");
    EXPECT_EQ(WindowsPathParent(L"C:\\Data"), L"C:\\");
    EXPECT_EQ(WindowsPathParent(L"C:\\"), L"C:\\");
}

TEST(PathForms, FinalPathPrefixes) {
    EXPECT_EQ(StripFinalPathPrefix(L"\\\\?\\C:\\Windows\\System32"), L"C:\\Windows\\System32");
    EXPECT_EQ(StripFinalPathPrefix(L"\\\\?\\UNC\\srv\\share\\x"), L"\\\\srv\\share\\x");
    EXPECT_EQ(StripFinalPathPrefix(L"\\\\?\\GLOBALROOT\\Device\\X"), L"\\Device\\X");
    EXPECT_EQ(StripFinalPathPrefix(L"C:\\x"), L"C:\\x");
}

}  // namespace
}  // namespace zel
