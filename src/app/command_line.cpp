#include "app/command_line.h"

#include "util/ascii.h"

namespace zel {

std::wstring UninstallKeyFromArguments(const std::vector<std::wstring>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (EqualsIgnoreAsciiCase(arguments[i], L"/uninstall") || EqualsIgnoreAsciiCase(arguments[i], L"-uninstall")) {
            return i + 1 < arguments.size() ? arguments[i + 1] : std::wstring();
        }
    }
    return {};
}

}  // namespace zel
