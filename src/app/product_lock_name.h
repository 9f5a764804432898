// The name of the machine-wide mutex that one setup or uninstall of a product
// holds for its whole life, without the namespace it lives in (ProductLock
// chooses that). Portable, so that tests can name the same mutex.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// "ZelSetup_" + 16 hex digits of a hash of the product's AppName, taken
// exactly (the product is recognised by it exactly). Any name, however long or
// whatever it holds, gives a valid object name.
std::wstring ProductLockName(std::wstring_view appName);

// For an uninstall whose key names no AppName (no such key, an old key): the
// same form, hashed from the key with ASCII letters folded.
std::wstring ProductKeyLockName(std::wstring_view productKey);

}  // namespace zel
