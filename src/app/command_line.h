// The command-line grammar of setup.exe and Uninstall.exe. Portable.
#pragma once

#include <string>
#include <vector>

namespace zel {

// The product key of an uninstall start, from the whole argument list (the
// program path first, as CommandLineToArgvW gives it). The first argument equal
// to "/uninstall" or "-uninstall" (ASCII case folded) decides; the argument after
// it is the key, verbatim. Empty when setup mode runs: no switch, the switch
// last, or an empty argument after it.
std::wstring UninstallKeyFromArguments(const std::vector<std::wstring>& arguments);

}  // namespace zel
