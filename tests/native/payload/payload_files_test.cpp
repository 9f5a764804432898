#include "payload/payload_files.h"

#include <gtest/gtest.h>

#include <string>
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

TEST(PayloadFilesTest, ANameStoredTwiceCountsOnceWithItsLastEntry) {
    const std::vector<PayloadFile> files =
        ProductFilesInWalkOrder(Entries({"files/a.txt", "files/b.txt", "files\\A.TXT"}));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].entry, 2u);
    EXPECT_EQ(files[0].relative, L"A.TXT");
    EXPECT_EQ(files[1].entry, 1u);
}

TEST(PayloadFilesTest, StartUpTakesWhatLiesOutsideFilesAndALicenceBelowIt) {
    const std::vector<PayloadEntry> entries =
        Entries({"setup.ini", "License.txt", "files/App.exe", "files/Docs/License.txt", "extra/notes.txt"});
    auto names = [](const std::vector<PayloadEntry>& list) {
        std::vector<std::string> result;
        for (const PayloadEntry& entry : list) result.push_back(entry.name);
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
