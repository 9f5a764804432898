#include "app/version.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "util/unicode.h"

namespace zel {
namespace {

struct ParseCase {
    const wchar_t* text;
    std::optional<std::vector<std::int32_t>> components;
};

TEST(Version, Parse) {
    const std::vector<ParseCase> cases = {
        {L"4.15.0", std::vector<std::int32_t>{4, 15}},
        {L"4.15", std::vector<std::int32_t>{4, 15}},
        {L"1..2", std::vector<std::int32_t>{1, 0, 2}},
        {L".5", std::vector<std::int32_t>{0, 5}},
        {L"5.", std::vector<std::int32_t>{5}},
        {L"", std::vector<std::int32_t>{}},
        {L"0.0.0", std::vector<std::int32_t>{}},
        {L"007.010", std::vector<std::int32_t>{7, 10}},
        {L"0.0.1", std::vector<std::int32_t>{0, 0, 1}},
        {L"2147483647", std::vector<std::int32_t>{2147483647}},
        {L"99999999999.1", std::vector<std::int32_t>{2147483647, 1}},
        {L"1.999999999999999999999999", std::vector<std::int32_t>{1, 2147483647}},
        {L"4.15.0a", std::nullopt},
        {L"-1", std::nullopt},
        {L"+1", std::nullopt},
        {L" 1", std::nullopt},
        {L"1.0 ", std::nullopt},
        {L"v1", std::nullopt},
        {L"\uFF11", std::nullopt},  // full-width digit one
        {L"1,5", std::nullopt},
    };
    for (const ParseCase& c : cases) EXPECT_EQ(ParseVersion(c.text), c.components) << WideToUtf8(c.text);
}

struct CompareCase {
    const wchar_t* a;
    const wchar_t* b;
    int result;
};

TEST(Version, Compare) {
    const std::vector<CompareCase> cases = {
        {L"4.9.0", L"4.15.0", -1},  // numeric, not text order
        {L"4.15", L"4.15.0", 0},    // trailing zeros dropped
        {L"4.15.0.1", L"4.15", 1},
        {L"1..2", L"1.0.2", 0},
        {L".5", L"0.5", 0},
        {L"", L"0", 0},
        {L"", L"0.1", -1},
        {L"99999999999", L"2147483647", 0},  // saturated
        {L"99999999999", L"2147483646.9", 1},
        {L"4.15.0a", L"4.15.0", 1},   // text fallback: longer text ranks higher
        {L"4.15.0A", L"4.15.0a", 0},  // ASCII case folded
        {L"abc", L"ABD", -1},
        {L"10.0", L"9.x", -1},  // text fallback: '1' < '9'
        {L"1.0-beta", L"1.0-Beta", 0},
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(CompareVersions(c.a, c.b), c.result) << WideToUtf8(c.a) << " vs " << WideToUtf8(c.b);
        EXPECT_EQ(CompareVersions(c.b, c.a), -c.result) << WideToUtf8(c.b) << " vs " << WideToUtf8(c.a);
    }
}

struct UpdateCase {
    const wchar_t* installed;
    const wchar_t* app;
    bool updateAvailable;
};

TEST(Version, UpdateAvailable) {
    const std::vector<UpdateCase> cases = {
        {L"4.9.0", L"4.15.0", true}, {L"4.15", L"4.15.0", false}, {L"4.15.0a", L"4.15.0", false},
        {L"4.16", L"4.15.0", false}, {L"", L"4.15.0", false},  // unknown installed version
        {L"", L"", false},           {L"0", L"", false},          {L"1.0", L"1.0.1", true},
    };
    for (const UpdateCase& c : cases) {
        EXPECT_EQ(IsUpdateAvailable(c.installed, c.app), c.updateAvailable)
            << WideToUtf8(c.installed) << " -> " << WideToUtf8(c.app);
    }
}

TEST(Version, UnattendedMaintenanceChoice) {
    using enum UnattendedMaintenance;
    const struct {
        const wchar_t* installed;
        const wchar_t* app;
        UnattendedMaintenance choice;
    } cases[] = {
        {L"4.9.0", L"4.15.0", Update},            // older by number, not by text
        {L"", L"4.15.0", Update},                 // unknown installed version
        {L"4.15", L"4.15.0", Repair},             // equal once trailing zeros go
        {L"4.15.0", L"4.15.0", Repair},           //
        {L"4.16", L"4.15.0", NewerInstalled},     //
        {L"4.15.0a", L"4.15.0", NewerInstalled},  // not numeric: text order, letters folded
        {L"4.15.0A", L"4.15.0a", Repair},         //
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseUnattendedMaintenance(c.installed, c.app), c.choice)
            << WideToUtf8(c.installed) << " -> " << WideToUtf8(c.app);
    }
}

}  // namespace
}  // namespace zel
