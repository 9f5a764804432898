// Checks a destination folder typed on the wizard's Destination page or given
// on the command line, with the facts of this machine.
#pragma once

#include <string>

#include "install/destination_rules.h"

namespace zel {

// The Windows, Program Files and profile folders, the destination's drive, a
// file in its way, an installation already in it and whether this product's
// registration (AppName) names it. The destination has passed CheckDestinationText.
DestinationFacts GatherDestinationFacts(const std::wstring& destination, const std::wstring& appName);

// CheckDestinationText, then CheckDestinationFacts with the gathered facts.
// False with the reason, for a warning box, in problem.
bool ValidateDestination(const std::wstring& destination, const std::wstring& appName, std::wstring& problem);

}  // namespace zel
