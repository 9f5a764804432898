// setup.exe's identity as Explorer shows it: the version resource (RT_VERSION)
// written from setup.ini, and read back for InstallerBuilder --list. Portable.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/setup_config.h"

namespace zel {

// The version of InstallerBuilder itself, written into every setup.exe it makes.
std::string_view BuilderVersion();

// The string a setup.exe's version resource carries InstallerBuilder's version in.
inline constexpr std::wstring_view kBuilderVersionKey = L"InstallerBuilderVersion";

// The four numbers of a version resource's fixed part from a version text: the
// leading digits of each dot-separated component ("1.2.0-beta" gives 1.2.0.0),
// at most four components, each at most 65535.
std::array<std::uint16_t, 4> FixedVersionNumbers(std::wstring_view text);

// The strings the version resource of a product's setup.exe holds, in the
// order they are written: ProductName, CompanyName, ProductVersion,
// FileVersion, FileDescription, InternalName, OriginalFilename and the builder's
// version.
std::vector<std::pair<std::wstring, std::wstring>> SetupVersionStrings(const SetupConfig& config);

// A VS_VERSIONINFO block with the fixed part from AppVersion and the strings
// above in one string table, language neutral, Unicode ("000004b0").
std::vector<std::uint8_t> BuildVersionResource(const SetupConfig& config);

// The strings of every string table of a VS_VERSIONINFO block, in order; empty
// when the block is malformed.
std::vector<std::pair<std::wstring, std::wstring>> ReadVersionStrings(std::span<const std::uint8_t> block);

}  // namespace zel
