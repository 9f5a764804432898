#include "uninstall/uninstall_run.h"

namespace zel {

// Placeholder until the uninstall run lands.
int RunUninstall(std::wstring&) { return 1; }
std::wstring NormalizeProductKey(std::wstring key) { return key; }

}  // namespace zel
