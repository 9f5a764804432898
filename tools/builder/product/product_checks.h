// The checks of setup.ini against the product's files that the builder can make
// before anything is written: whatever would otherwise only fail on the
// customer's machine. Each message names setup.ini's line and says how to fix it.
// Portable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/ini_document.h"
#include "config/setup_config.h"

namespace zel {

struct ProductFacts {
    const IniDocument& ini;
    const SetupConfig& config;
    // Every file below files/, relative to it, "\" separators.
    const std::vector<std::wstring>& payloadFiles;
    // The files an install copies, as InstalledFiles gives them.
    const std::vector<std::wstring>& installs;
};

// Sections and keys setup.ini knows: unknown ones are reported with the nearest
// known name. A missing [Setup] section is an error (throws), since nothing of
// the product could be read.
void CheckIniStructure(const IniDocument& ini, std::vector<std::string>& warnings);

// For a setup.ini that names no licence file (LicenseFile absent or empty):
// throws, naming the line of an empty LicenseFile or of a [Setup] key that
// looks like a misspelling of it ("LicenceFile").
[[noreturn]] void FailNoLicenseFile(const IniDocument& ini);

// Everything else: throws std::runtime_error for what would fail at install time
// (a [System32RegSvr] file that is not in files/, a Start-menu target or MainExe
// that is not installed, shortcut and group names that are not plain names, a
// path too long to install); appends warnings for what is probably a mistake.
void CheckProductRules(const ProductFacts& facts, std::vector<std::string>& warnings);

// The nearest of the candidates to name (letter case ignored), or empty when
// none is close enough to be a likely misspelling.
std::wstring NearestName(std::wstring_view name, const std::vector<std::wstring_view>& candidates);

// Why the text cannot be a plain file name (a shortcut or Start-menu item name),
// or empty when it can.
std::string PlainNameProblem(std::wstring_view name);

// Why a version text cannot be held in the four numbers of setup.exe's
// version resource without losing part of it ("is empty", "has 5 numbers",
// "has the number 70000"), or empty when it can: at most four dot-separated
// components, each read by its leading digits, each at most 65535.
std::string VersionResourceProblem(std::wstring_view text);

// A value shortened for a message: its start and its length when it is long.
std::string QuoteValue(std::wstring_view value);

}  // namespace zel
