// The names of the product's link files and which names stay below their folder.
#include "install/shortcuts/shortcut_names.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zel {
namespace {

namespace fs = std::filesystem;

TEST(LinkPathFor, EveryLinkEndsInLnkAndTheEarlierFormIsKnown) {
    struct Case {
        const wchar_t* name;
        const wchar_t* link;    // as links are made now
        const wchar_t* legacy;  // as installations made before named them
    };
    const Case cases[] = {
        {L"My App", L"C:\\Links\\My App.lnk", L"C:\\Links\\My App.lnk"},
        {L"My App.lnk", L"C:\\Links\\My App.lnk", L"C:\\Links\\My App.lnk"},
        {L"My App.LNK", L"C:\\Links\\My App.LNK", L"C:\\Links\\My App.LNK"},
        {L"Tool 1.5", L"C:\\Links\\Tool 1.5.lnk", L"C:\\Links\\Tool 1.5"},
        {L"Notes.txt", L"C:\\Links\\Notes.txt.lnk", L"C:\\Links\\Notes.txt"},
        {L"Readme.", L"C:\\Links\\Readme..lnk", L"C:\\Links\\Readme."},
        {L".hidden", L"C:\\Links\\.hidden.lnk", L"C:\\Links\\.hidden.lnk"},
        {L"..x", L"C:\\Links\\..x.lnk", L"C:\\Links\\..x"},
        {L"ab.x:y", L"C:\\Links\\ab.x:y.lnk", L"C:\\Links\\ab.x:y"},
        {L"Docs\\Manual", L"C:\\Links\\Docs\\Manual.lnk", L"C:\\Links\\Docs\\Manual.lnk"},
        {L"v1.0\\Manual", L"C:\\Links\\v1.0\\Manual.lnk", L"C:\\Links\\v1.0\\Manual.lnk"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LinkPathFor(L"C:\\Links", c.name).wstring(), c.link) << fs::path(c.name).string();
        EXPECT_EQ(LegacyLinkPathFor(L"C:\\Links", c.name).wstring(), c.legacy) << fs::path(c.name).string();
    }
}

TEST(IsConfinedName, OnlyRelativeNamesThatStayBelowTheirFolder) {
    const struct {
        const wchar_t* name;
        bool confined;
    } cases[] = {
        {L"My App", true}, {L"Vendor\\App", true}, {L"Docs/Manual", true},    {L"..x", true},       {L"", false},
        {L"..", false},    {L"..\\x", false},      {L"a\\..\\..\\x", false},  {L"C:\\x", false},    {L"C:x", false},
        {L"\\x", false},   {L"/x", false},         {L"\\\\srv\\s\\x", false}, {L"x:stream", false}, {L"a/../b", false},
        {L".", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsConfinedName(c.name), c.confined) << fs::path(c.name).string();
}

}  // namespace
}  // namespace zel
