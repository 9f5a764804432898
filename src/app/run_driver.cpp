#include "app/run_driver.h"

namespace zel {

// Placeholder until the start-up sequence lands.
int RunSetupProgram(HINSTANCE) { return 0; }

}  // namespace zel
