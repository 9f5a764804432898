// Version texts as setup.ini and the Uninstall key hold them ("4.15.0").
// Portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zel {

// Dot-separated decimal components; an empty component is 0, trailing zero
// components are dropped ("4.15.0" and "4.15" give {4, 15}; "" gives {}).
// Components beyond the 32-bit signed range saturate. nullopt when a component
// holds anything but the digits 0-9.
std::optional<std::vector<std::int32_t>> ParseVersion(std::wstring_view text);

// -1, 0 or 1: numeric when both texts parse, otherwise the texts compared whole
// with ASCII letters folded.
int CompareVersions(std::wstring_view a, std::wstring_view b);

// Whether the installed version is older than the version being set up. An
// unknown (empty) installed version never is.
bool IsUpdateAvailable(std::wstring_view installedVersion, std::wstring_view appVersion);

// What a run without a person does over an installed product: Update when the
// installed version is older or unknown (empty), Repair when it is the same,
// and nothing when it is newer.
enum class UnattendedMaintenance { Update, Repair, NewerInstalled };
UnattendedMaintenance ChooseUnattendedMaintenance(std::wstring_view installedVersion, std::wstring_view appVersion);

}  // namespace zel
