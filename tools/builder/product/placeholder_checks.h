// The placeholders InstallerBuilder --init writes into a new product folder
// where only the packager knows the text (the product's name, its publisher,
// its licence), and the check that refuses to build while one is left, so that
// no setup.exe ever ships one. Portable.
#pragma once

#include <string>
#include <string_view>

#include "config/ini_document.h"

namespace zel {

// Every placeholder starts with this text and ends with ">": "<replace: the product's name>".
inline constexpr std::wstring_view kPlaceholderStart = L"<replace:";

// A placeholder for the text the words describe.
std::wstring Placeholder(std::wstring_view what);

// Throws std::runtime_error naming every placeholder left, by file and line (and
// setup.ini's section and key), in setup.ini's values and in the licence text.
// Letter case does not matter: "<Replace:" counts as well.
void CheckNoPlaceholders(const IniDocument& ini, std::string_view licenseName, std::wstring_view licenseText);

}  // namespace zel
