// An installation of the product found under the Uninstall registry key.
#pragma once

#include <string>

namespace zel {

struct InstalledProduct {
    std::wstring keyName;          // the Uninstall subkey name
    std::wstring installLocation;  // never empty in a found product
    std::wstring displayVersion;   // may be empty
};

}  // namespace zel
