// The uninstall run. Returns 0 or 1, the process exit code.
#pragma once

#include <string>

namespace zel {

int RunUninstall(std::wstring& productKey);

// Strips blanks, tabs and quotes at both ends and adds missing braces.
std::wstring NormalizeProductKey(std::wstring key);

}  // namespace zel
