#include "install/extra_destination/extra_destination.h"

#include <gtest/gtest.h>

#include "common/extra_destination_cases.h"
#include "common/show_text.h"
#include "util/unicode.h"

namespace zel {
namespace {

using test::Show;

TEST(MirrorRules, FolderNames) {
    for (const auto& c : test::MirrorNamesCases()) {
        std::string shown;
        for (const auto& p : c.patterns) shown += "\"" + Show(p) + "\" ";
        EXPECT_EQ(MirrorFolderNames(c.patterns), c.names) << shown;
    }
}

TEST(MirrorRules, MatchFolder) {
    for (const auto& c : test::kMatchCases) {
        std::wstring remainder = L"stale";
        EXPECT_EQ(MatchMirrorFolder(c.relativePath, c.folderName, remainder), c.matches)
            << Show(c.relativePath) << " / " << Show(c.folderName);
        if (c.matches) {
            EXPECT_EQ(remainder, c.remainder) << Show(c.relativePath);
        }
    }
}

TEST(MirrorRules, TargetPath) {
    const std::vector<std::wstring> names = {L"Data", L"Tools"};
    for (const auto& c : test::kTargetCases) {
        EXPECT_EQ(MirrorTargetPath(c.extraFolder, c.relativePath, c.matchedName, c.remainder, names), c.target)
            << Show(c.extraFolder) << " + " << Show(c.relativePath);
    }
}

TEST(MirrorRules, MstaFolderLines) {
    for (const auto& c : test::kMstaTextCases) {
        EXPECT_EQ(MstaFolderValueFromText(c.text), c.value) << Show(c.text);
    }
}

}  // namespace
}  // namespace zel
