#include "app/version.h"

#include <algorithm>
#include <limits>

#include "util/ascii.h"

namespace zel {
namespace {

std::optional<std::int32_t> ParseComponent(std::wstring_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = std::min(kMax, value * 10 + (c - L'0'));
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::optional<std::vector<std::int32_t>> ParseVersion(std::wstring_view text) {
    std::vector<std::int32_t> components;
    for (;;) {
        const std::size_t dot = text.find(L'.');
        const std::optional<std::int32_t> component = ParseComponent(text.substr(0, dot));
        if (!component) return std::nullopt;
        components.push_back(*component);
        if (dot == std::wstring_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    while (!components.empty() && components.back() == 0) components.pop_back();
    return components;
}

int CompareVersions(std::wstring_view a, std::wstring_view b) {
    const auto left = ParseVersion(a);
    const auto right = ParseVersion(b);
    if (!left || !right) return CompareIgnoreAsciiCase(a, b);
    const std::size_t length = std::max(left->size(), right->size());
    for (std::size_t i = 0; i < length; ++i) {
        const std::int32_t x = i < left->size() ? (*left)[i] : 0;
        const std::int32_t y = i < right->size() ? (*right)[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

bool IsUpdateAvailable(std::wstring_view installedVersion, std::wstring_view appVersion) {
    return !installedVersion.empty() && CompareVersions(installedVersion, appVersion) < 0;
}

UnattendedMaintenance ChooseUnattendedMaintenance(std::wstring_view installedVersion, std::wstring_view appVersion) {
    if (installedVersion.empty()) return UnattendedMaintenance::Update;
    switch (CompareVersions(installedVersion, appVersion)) {
        case -1:
            return UnattendedMaintenance::Update;
        case 0:
            return UnattendedMaintenance::Repair;
        default:
            return UnattendedMaintenance::NewerInstalled;
    }
}

}  // namespace zel
