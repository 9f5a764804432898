// The install run: installs, updates or repairs the product from the wizard.
#pragma once

#include "app/setup_context.h"

namespace zel {

void RunInstall(SetupContext& context);

}  // namespace zel
