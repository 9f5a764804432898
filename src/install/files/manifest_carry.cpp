#include <algorithm>
#include <string>
#include <unordered_set>

#include "install/files/manifest.h"  // IWYU pragma: associated
#include "install/files/uninstall_exe_draft.h"
#include "util/path_forms.h"
#include "util/upper_case.h"

namespace zel {
namespace {

// The form two names of one file share: "\\" separators, letters folded as
// the file system folds them.
std::u16string SameFileKey(std::wstring name) {
    std::replace(name.begin(), name.end(), L'/', L'\\');
    return FoldedForComparison(name);
}

// A name that, joined to the install folder, stays inside it.
bool StaysInside(const std::wstring& name) {
    if (name.empty() || name.find(L':') != std::wstring::npos) return false;
    const WindowsPathParts parts = SplitWindowsPath(name);
    if (!parts.rootName.empty() || parts.hasRootDirectory || parts.names.empty()) return false;
    return std::none_of(parts.names.begin(), parts.names.end(),
                        [](const std::wstring& element) { return element == L"." || element == L".."; });
}

}  // namespace

std::vector<std::wstring> WithEntriesCarriedOver(std::vector<std::wstring> entries,
                                                 const std::vector<std::wstring>& previous) {
    std::unordered_set<std::u16string> listed;
    for (const std::wstring& entry : entries) listed.insert(SameFileKey(entry));
    for (const std::wstring& entry : previous) {
        if (!StaysInside(entry) || UninstallExeDraftProcess(WindowsPathLeaf(entry))) continue;
        if (listed.insert(SameFileKey(entry)).second) entries.push_back(entry);
    }
    return entries;
}

}  // namespace zel
