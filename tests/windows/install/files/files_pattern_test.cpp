#include "install/files/files_pattern.h"

#include <shlwapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/files_pattern_cases.h"
#include "common/show_text.h"
#include "util/unicode.h"
#include "util/upper_case.h"

namespace zel {
namespace {

using test::Show;

// The table of cases against the platform itself: every row's wildcard pattern
// selects on Windows what it selects here.
TEST(FilesPatternPlatform, TableOfCasesAgreesWithPathMatchSpec) {
    for (const auto& c : test::kFilesPatternCases) {
        const std::wstring pattern(c.pattern);
        if (pattern.empty() || pattern.find_first_of(L"*?") == std::wstring::npos) continue;
        if (pattern.size() >= 2 && pattern.ends_with(L"\\*")) continue;  // the subtree rule is ours
        const std::wstring rel(c.rel);
        EXPECT_EQ(MatchDosWildcard(rel, pattern), ::PathMatchSpecW(rel.c_str(), pattern.c_str()) != FALSE)
            << "rel \"" << Show(rel) << "\" pattern \"" << Show(pattern) << "\"";
    }
}

// Every UTF-16 unit folds to the letter the platform's upper-case table gives,
// and the platform's wildcard match takes the two as equal. Under Wine,
// PathMatchSpecW folds with exactly this table; Windows is not at hand here to
// confirm that its PathMatchSpecW does not fold linguistically instead (which
// would, for example, take "ß" as "SS").
TEST(FilesPatternPlatform, LetterCaseAgreesWithPlatformTable) {
    using UpcaseChar = WCHAR(WINAPI*)(WCHAR);
    const auto upcase = reinterpret_cast<UpcaseChar>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
    ASSERT_NE(upcase, nullptr);
    int disagreements = 0;
    for (unsigned unit = 1; unit <= 0xFFFF && disagreements < 10; ++unit) {
        const auto c = static_cast<wchar_t>(unit);
        if (c == L'*' || c == L'?' || c == L';' || c == L' ') continue;
        const auto ours = static_cast<wchar_t>(UpperCaseUnit(static_cast<char16_t>(unit)));
        const wchar_t text[2] = {c, 0};
        const wchar_t upper[2] = {ours, 0};
        if (ours != upcase(c) || !::PathMatchSpecW(text, upper)) {
            ++disagreements;
            ADD_FAILURE() << "unit U+" << std::hex << unit << ": ours U+" << static_cast<unsigned>(ours)
                          << ", platform U+" << static_cast<unsigned>(upcase(c));
        }
    }
}

// splitmix64: the same corpus on every run and every C++ library, so that a
// reported disagreement can be reproduced from its text alone.
class CorpusRandom {
public:
    explicit CorpusRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
    bool Chance(unsigned percent) { return Below(100) < percent; }

private:
    std::uint64_t state_;
};

// Pieces of file names: ASCII letters of both cases, dots, separators, blanks,
// accented, Greek (with final sigma), Cyrillic, full-width and CJK letters,
// letters whose upper case does not round-trip (long s, dotless i, sharp s),
// and characters outside the Basic Multilingual Plane (emoji, Deseret letters
// of both cases).
const std::vector<std::wstring> kNamePieces = {
    L"a",      L"A",      L"b",          L"Z",          L"e",          L".",      L".",      L"\\",     L"\\",
    L" ",      L"-",      L"1",          L"\x00E9",     L"\x00C9",     L"\x03C3", L"\x03A3", L"\x03C2", L"\x0434",
    L"\x0414", L"\xFF41", L"\xFF21",     L"\x8AAC",     L"\x017F",     L"s",      L"S",      L"\x0131", L"i",
    L"I",      L"\x00DF", L"\U0001F600", L"\U00010400", L"\U00010428", L"txt",    L"TXT",    L"exe",
};

std::wstring RandomName(CorpusRandom& random) {
    std::wstring name;
    const size_t pieces = random.Below(9);
    for (size_t i = 0; i < pieces; ++i) name += kNamePieces[random.Below(kNamePieces.size())];
    return name;
}

// A pattern made from a name, unit by unit (so surrogate pairs get split too):
// units kept, case-changed, replaced by '?' or another piece, runs replaced by '*',
// stars inserted; sometimes leading or trailing blanks, sometimes a ';' list.
std::wstring PatternFrom(const std::wstring& name, CorpusRandom& random) {
    std::wstring pattern;
    for (size_t i = 0; i < name.size(); ++i) {
        const size_t roll = random.Below(100);
        if (roll < 45) {
            pattern += name[i];
        } else if (roll < 57) {
            pattern += static_cast<wchar_t>(UpperCaseUnit(static_cast<char16_t>(name[i])));
        } else if (roll < 64) {
            pattern += static_cast<wchar_t>(
                reinterpret_cast<ULONG_PTR>(::CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(name[i])))));
        } else if (roll < 74) {
            pattern += L'?';
        } else if (roll < 84) {
            pattern += L'*';
            i += random.Below(4);
        } else if (roll < 90) {
            pattern += L'*';
            pattern += name[i];
        } else {
            pattern += kNamePieces[random.Below(kNamePieces.size())];
        }
    }
    if (random.Chance(10)) pattern.insert(0, random.Below(3) + 1, L' ');
    if (random.Chance(5)) pattern.append(random.Below(2) + 1, L' ');
    if (random.Chance(20)) {
        const std::wstring other = PatternFrom(RandomName(random), random);
        pattern = random.Chance(50) ? pattern + L";" + other : other + L";" + pattern;
    }
    if (random.Chance(3)) pattern += L';';
    return pattern;
}

// The portable matcher against the platform's PathMatchSpecW on a generated
// corpus: no disagreement allowed. Wine's PathMatchSpecW takes only the whole
// pattern "*.*" as "everything"; whether Windows also does so for "*.*" inside a
// ';' list or after a folder ("Doc\*.*") is not shown here.
TEST(FilesPatternPlatform, GeneratedCorpusAgreesWithPathMatchSpec) {
    CorpusRandom random(0x5EED1E5u);
    int matches = 0;
    int disagreements = 0;
    constexpr int kCases = 60000;
    for (int n = 0; n < kCases && disagreements < 10; ++n) {
        const std::wstring name = RandomName(random);
        std::wstring pattern = random.Chance(1) ? std::wstring(L"*.*") : PatternFrom(name, random);
        if (pattern.empty()) pattern = L"*";
        const bool platform = ::PathMatchSpecW(name.c_str(), pattern.c_str()) != FALSE;
        matches += platform ? 1 : 0;
        if (MatchDosWildcard(name, pattern) != platform) {
            ++disagreements;
            ADD_FAILURE() << "case " << n << ": name \"" << Show(name) << "\" pattern \"" << Show(pattern)
                          << "\": platform " << platform;
        }
    }
    // A corpus that hardly ever matches would prove little.
    EXPECT_GT(matches, kCases / 5);
    EXPECT_LT(matches, kCases * 4 / 5);
}

}  // namespace
}  // namespace zel
