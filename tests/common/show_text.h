// Wide text shown as UTF-8 in failure messages, so that a person can read
// Japanese names and paths in the test output.
#pragma once

#include <string>
#include <string_view>

#include "util/unicode.h"

namespace zel::test {

inline std::string Show(std::wstring_view text) { return WideToUtf8(text); }

}  // namespace zel::test
