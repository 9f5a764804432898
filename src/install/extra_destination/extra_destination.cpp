#include "install/extra_destination/extra_destination.h"

#include <algorithm>

#include "config/setup_config.h"
#include "util/ascii.h"
#include "util/path_forms.h"

namespace zel {

std::vector<std::wstring> MirrorFolderNames(const std::vector<std::wstring>& filesPatterns) {
    std::vector<std::wstring> names;
    for (const std::wstring& raw : filesPatterns) {
        const std::wstring pattern = ReplaceAll(TrimWhitespace(raw), L'/', L'\\');
        if (pattern.size() <= 2 || !pattern.ends_with(L"\\*")) continue;
        std::wstring name = pattern.substr(0, pattern.size() - 2);
        if (name.empty() || name.find(L'\\') != std::wstring::npos) continue;
        const bool known = std::any_of(names.begin(), names.end(), [&](const std::wstring& existing) {
            return EqualsIgnoreAsciiCase(existing, name);
        });
        if (!known) names.push_back(std::move(name));
    }
    return names;
}

bool MatchMirrorFolder(std::wstring_view relativePath, std::wstring_view folderName, std::wstring& remainder) {
    remainder.clear();
    if (relativePath.size() > folderName.size() && relativePath[folderName.size()] == L'\\' &&
        StartsWithIgnoreAsciiCase(relativePath, folderName)) {
        remainder.assign(relativePath.substr(folderName.size() + 1));
        return true;
    }
    return EqualsIgnoreAsciiCase(relativePath, folderName);
}

std::wstring MirrorTargetPath(std::wstring_view extraFolder, std::wstring_view relativePath,
                              std::wstring_view matchedName, std::wstring_view remainder,
                              const std::vector<std::wstring>& folderNames) {
    const std::wstring leaf = WindowsPathLeaf(extraFolder);
    if (!remainder.empty() && EqualsIgnoreAsciiCase(leaf, matchedName)) {
        return AppendWindowsPath(extraFolder, remainder);
    }
    if (!remainder.empty() && !leaf.empty() &&
        std::any_of(folderNames.begin(), folderNames.end(),
                    [&](const std::wstring& name) { return EqualsIgnoreAsciiCase(leaf, name); })) {
        return AppendWindowsPath(AppendWindowsPath(WindowsPathParent(extraFolder), matchedName), remainder);
    }
    return AppendWindowsPath(extraFolder, relativePath);
}

std::wstring MstaFolderValueFromText(std::wstring_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find_first_of(L"\r\n", pos), text.size());
        const std::wstring line = TrimWhitespace(text.substr(pos, end - pos));
        pos = end;
        while (pos < text.size() && (text[pos] == L'\r' || text[pos] == L'\n')) ++pos;

        if (line.empty() || line[0] == L';' || line[0] == L'#' || line[0] == L'[') continue;
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) continue;
        if (!EqualsIgnoreAsciiCase(TrimWhitespace(std::wstring_view(line).substr(0, equals)), L"MstaFolder")) continue;
        std::wstring value = TrimWhitespace(std::wstring_view(line).substr(equals + 1));
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') {
            value = TrimWhitespace(std::wstring_view(value).substr(1, value.size() - 2));
        }
        return value;
    }
    return {};
}

}  // namespace zel
