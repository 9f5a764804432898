// The names Windows cannot give a file: every payload entry becomes a file on
// the customer's machine, so a name that Windows would refuse, alter or treat as
// a device is caught when the product is built. Portable.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// Why a payload name could not be created on Windows, or empty when it can
// (checked per path element: reserved characters, controls, a trailing dot or
// space, device names such as CON or LPT1).
std::string WindowsNameProblem(std::string_view name);

}  // namespace zel
