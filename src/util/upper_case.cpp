#include "util/upper_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace zel {
namespace {

struct CaseRun {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t step;
    std::int32_t delta;
};

constexpr CaseRun kUpperCaseRuns[] = {
#include "util/upper_case_table.inc"
};

}  // namespace

char16_t UpperCaseUnit(char16_t unit) noexcept {
    // The last run that starts at or before the unit is the only one that can hold it.
    const auto next = std::upper_bound(std::begin(kUpperCaseRuns), std::end(kUpperCaseRuns), unit,
                                       [](char16_t u, const CaseRun& run) { return u < run.first; });
    if (next == std::begin(kUpperCaseRuns)) return unit;
    const CaseRun& run = *std::prev(next);
    if (unit > run.last || (unit - run.first) % run.step != 0) return unit;
    return static_cast<char16_t>(unit + run.delta);
}

std::u16string FoldedForComparison(std::wstring_view text) {
    std::u16string folded;
    folded.reserve(text.size());
    for (const wchar_t c : text) {
        const auto cp = static_cast<std::uint32_t>(c);
        if (cp > 0xFFFF && cp <= 0x10FFFF) {
            folded.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            folded.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            folded.push_back(UpperCaseUnit(static_cast<char16_t>(cp)));
        }
    }
    return folded;
}

}  // namespace zel
