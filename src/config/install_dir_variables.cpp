#include "config/install_dir_variables.h"

#include "util/ascii.h"

namespace zel {

const FolderVariable* FindFolderVariable(std::wstring_view name) {
    for (const FolderVariable& variable : kFolderVariables) {
        if (EqualsIgnoreAsciiCase(name, variable.name)) return &variable;
    }
    return nullptr;
}

std::wstring_view LeadingVariable(std::wstring_view value) {
    if (value.size() < 3 || value[0] != L'%') return {};
    const std::size_t close = value.find(L'%', 1);
    if (close == std::wstring_view::npos || close == 1) return {};
    return value.substr(1, close - 1);
}

std::wstring ExpandVariables(std::wstring_view text, const VariableLookup& lookup) {
    std::wstring expanded;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find(L'%', at);
        if (open == std::wstring_view::npos) break;
        const std::size_t close = text.find(L'%', open + 1);
        if (close == std::wstring_view::npos) break;
        expanded.append(text.substr(at, open - at));
        const std::wstring_view name = text.substr(open + 1, close - open - 1);
        const std::optional<std::wstring> value = name.empty() ? std::nullopt : lookup(name);
        if (value) {
            expanded += *value;
        } else {
            expanded.append(text.substr(open, close - open + 1));  // stays as written, signs and all
        }
        at = close + 1;
    }
    expanded.append(text.substr(at));
    return expanded;
}

}  // namespace zel
