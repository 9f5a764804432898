#include "payload/payload_files.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zel {
namespace {

std::vector<PayloadEntry> Entries(const std::vector<std::string>& names) {
    std::vector<PayloadEntry> entries;
    for (const std::string& name : names) entries.push_back({name, 0, 0});
    return entries;
}

// The order a walk of the extracted files folder gives on Windows: each folder's
// items by name without regard to ASCII case, folders and files mixed, a folder's
// content before its next sibling.
TEST(PayloadFilesTest, ProductFilesComeInFolderWalkOrder) {
    const std::vector<PayloadEntry> entries = Entries({
        "setup.ini",
        "License.txt",
        "files/readme.txt",
        "files/Doc/Manual.pdf",
        "files/App.exe",
        "files/doc/a/b.txt",  // the same folder as Doc
        "files/bin\\Tool.exe",
        "Files/Doc/z.txt",  // the files folder spelt otherwise
        "files/Doc.txt",
        "filesystem/x.txt",  // not the files folder
        "files/データ/説明.txt",
    });
    std::vector<std::wstring> relatives;
    std::vector<std::size_t> indexes;
    for (const PayloadFile& file : ProductFilesInWalkOrder(entries)) {
        relatives.push_back(file.relative);
        indexes.push_back(file.entry);
    }
    EXPECT_EQ(relatives, (std::vector<std::wstring>{L"App.exe", L"bin\\Tool.exe", L"doc\\a\\b.txt", L"Doc\\Manual.pdf",
                                                    L"Doc\\z.txt", L"Doc.txt", L"readme.txt", L"データ\\説明.txt"}));
    EXPECT_EQ(indexes, (std::vector<std::size_t>{4, 6, 5, 3, 7, 8, 2, 10}));
}

// Names the file system takes for one file (letters folded as Windows folds
// them, not only A-Z) count once, with the last entry's spelling and data, as
// writing them one after the other would leave the file.
TEST(PayloadFilesTest, ANameStoredTwiceCountsOnceWithItsLastEntry) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::wstring> relatives;
        std::vector<std::size_t> entries;
    };
    const Case cases[] = {
        {{"files/a.txt", "files/b.txt", "files\\A.TXT"}, {L"A.TXT", L"b.txt"}, {2, 1}},
        {{"files/Ä.txt", "files/ä.txt"}, {L"ä.txt"}, {1}},
        {{"files/Данные/x", "files/данные/X", "files/Ω.txt", "files/ω.txt"}, {L"ω.txt", L"данные\\X"}, {3, 1}},
        {{"files/ａ.txt", "files/Ａ.txt"}, {L"Ａ.txt"}, {1}},
        // Folded alike in the folder: one folder, its two files kept apart.
        {{"files/Ä/1", "files/ä/2"}, {L"Ä\\1", L"ä\\2"}, {0, 1}},
        // Not folded by the file system: two files.
        {{"files/ß", "files/SS"}, {L"SS", L"ß"}, {1, 0}},
        // Ordered as NTFS orders folded names: "É" (U+00C9) after "F".
        {{"files/é.txt", "files/F.txt"}, {L"F.txt", L"é.txt"}, {1, 0}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> relatives;
        std::vector<std::size_t> entries;
        for (const PayloadFile& file : ProductFilesInWalkOrder(Entries(c.names))) {
            relatives.push_back(file.relative);
            entries.push_back(file.entry);
        }
        EXPECT_EQ(relatives, c.relatives) << c.names.front();
        EXPECT_EQ(entries, c.entries) << c.names.front();
    }
    EXPECT_TRUE(SamePayloadName("files/Ä.txt", "FILES\\ä.TXT"));
    EXPECT_FALSE(SamePayloadName("files/ß", "files/SS"));
}

// The names the install may write: a plain relative path below files/ of names
// Windows keeps as they are. Any other was never stored by the builder.
TEST(PayloadFilesTest, SafeProductFileNames) {
    const std::pair<std::string, bool> cases[] = {
        {"files/App.exe", true},
        {"FILES\\Doc\\a b.txt", true},
        {"files/データ/説明.txt", true},
        {"files/.hidden", true},
        {"files/con.d/x", false},
        {"files/CONSOLE.txt", true},
        {"files/COM10", true},
        {"files/Doc/../../victim.txt", false},
        {"files/../../zel_sec_b.da", false},
        {"files/..\\x", false},
        {"files/C:/windows/evil2.txt", false},
        {"files/C:x", false},
        {"files//x", false},
        {"files/./x", false},
        {"files/", false},
        {"files/a.txt:stream", false},
        {"files/a.", false},
        {"files/a /b", false},
        {"files/...", false},
        {"files/a?b", false},
        {"files/a|b", false},
        {"files/a\"b", false},
        {"files/a<b>", false},
        {"files/a*", false},
        {"files/tab\tname", false},
        {std::string("files/a\0b", 9), false},
        {"files/NUL", false},
        {"files/x/aux.txt", false},
        {"files/Lpt1 .log", false},
        {"files/CONIN$", false},
        {"files/conout$.txt", false},
        {"files/COM0", false},
        {"files/COM\u00b9", false},
        {"files/lpt\u00b3.txt", false},
        {"files/bad\xff.txt", false},         // not UTF-8
        {"files/\xc0\xae\xc0\xae/x", false},  // ".." spelt as overlong UTF-8
        {"setup.ini", false},                 // not a product file
        {"/files/x", false},
    };
    for (const auto& [name, safe] : cases) EXPECT_EQ(IsSafeProductFileName(name), safe) << name;
}

// The walk never yields a file outside the files folder, and the copy finds
// the first name to refuse among the product's entries only.
TEST(PayloadFilesTest, UnsafeNamesAreLeftOutOfTheWalkAndFound) {
    const std::vector<PayloadEntry> entries = Entries({
        "setup.ini",
        "files/App.exe",
        "files/Doc/../../victim.txt",
        "files/C:/windows/evil2.txt",
        "files/Data/a.dat",
    });
    std::vector<std::wstring> relatives;
    for (const PayloadFile& file : ProductFilesInWalkOrder(entries)) relatives.push_back(file.relative);
    EXPECT_EQ(relatives, (std::vector<std::wstring>{L"App.exe", L"Data\\a.dat"}));
    EXPECT_EQ(FirstUnsafeProductEntry(entries), 2u);
    EXPECT_EQ(FirstUnsafeProductEntry(Entries({"setup.ini", "../outside", "files/App.exe"})), 3u)
        << "a name outside files/ is start-up's to check";
    EXPECT_EQ(FirstUnsafeProductEntry({}), 0u);
}

TEST(PayloadFilesTest, StartUpTakesWhatLiesOutsideFilesAndALicenceBelowIt) {
    const std::vector<PayloadEntry> entries =
        Entries({"setup.ini", "License.txt", "files/App.exe", "files/Docs/License.txt", "extra/notes.txt"});
    auto names = [&](const std::vector<std::size_t>& list) {
        std::vector<std::string> result;
        for (const std::size_t index : list) result.push_back(entries[index].name);
        return result;
    };
    EXPECT_EQ(names(StartupEntries(entries)),
              (std::vector<std::string>{"setup.ini", "License.txt", "extra/notes.txt"}));
    EXPECT_EQ(names(StartupEntries(entries, "FILES\\docs\\license.txt")),
              std::vector<std::string>{"files/Docs/License.txt"});
    // A licence at the top was written with the rest already.
    EXPECT_TRUE(StartupEntries(entries, "License.txt").empty());
}

}  // namespace
}  // namespace zel
