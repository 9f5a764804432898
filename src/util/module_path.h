// The full path of the running program's own file.
#pragma once

#include <string>

namespace zel {

// The path of the running program file, however long, or empty when the system
// cannot give it (a path cut to the buffer would name some other file).
std::wstring OwnModulePath();

}  // namespace zel
