#include "install/install_run.h"

namespace zel {

// Placeholder until the install run lands.
void RunInstall(SetupContext&) {}

}  // namespace zel
