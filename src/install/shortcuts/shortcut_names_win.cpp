#include "install/shortcuts/shortcut_names.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <string_view>
#include <vector>

#include "util/ascii.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

constexpr std::wstring_view kLinkExtension = L".lnk";

// Whether the last element has an extension as the standard file-system library
// sees it on Windows: the element is cut at a ':' (stream name), and needs a '.'
// after its first character; "." and ".." have none, a final '.' counts.
bool HasExtension(std::wstring_view path) {
    const size_t separator = path.find_last_of(L"\\/");
    std::wstring_view element = separator == std::wstring_view::npos ? path : path.substr(separator + 1);
    element = element.substr(0, element.find(L':'));
    if (element == L"." || element == L"..") return false;
    return element.size() > 1 && element.find(L'.', 1) != std::wstring_view::npos;
}

bool EndsWithLinkExtension(std::wstring_view name) {
    return name.size() >= kLinkExtension.size() &&
           EqualsIgnoreAsciiCase(name.substr(name.size() - kLinkExtension.size()), kLinkExtension);
}

}  // namespace

fs::path LinkPathFor(const fs::path& folder, const std::wstring& name) {
    fs::path link = folder / name;
    if (!EndsWithLinkExtension(name)) link += kLinkExtension;
    return link;
}

fs::path LegacyLinkPathFor(const fs::path& folder, const std::wstring& name) {
    fs::path link = folder / name;
    if (!HasExtension(link.native())) link += kLinkExtension;
    return link;
}

bool IsConfinedName(const std::wstring& name) {
    if (name.empty() || name.find(L':') != std::wstring::npos) return false;
    const WindowsPathParts parts = SplitWindowsPath(name);
    if (!parts.rootName.empty() || parts.hasRootDirectory || parts.names.empty()) return false;
    for (const std::wstring& element : parts.names) {
        if (element == L".." || element == L".") return false;
    }
    return true;
}

bool ReadLinkTargets(const fs::path& link, std::vector<fs::path>& targets) {
    targets.clear();
    ComPtr<IShellLinkW> shellLink;
    ComPtr<IPersistFile> file;
    if (FAILED(
            ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.putVoid())) ||
        FAILED(shellLink->QueryInterface(IID_IPersistFile, file.putVoid())) ||
        FAILED(file->Load(link.c_str(), STGM_READ))) {
        return false;
    }
    // The path as stored, without resolving or searching for a moved target.
    wchar_t path[MAX_PATH * 4] = {};
    if (shellLink->GetPath(path, static_cast<int>(std::size(path)), nullptr, SLGP_RAWPATH) == S_OK && path[0]) {
        targets.emplace_back(path);
    }
    // The item list names the same target; some link writers keep only an
    // 8-bit copy of the path above, which loses letters outside its code page.
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(shellLink->GetIDList(&items)) && items) {
        wchar_t itemPath[MAX_PATH * 4] = {};
        if (::SHGetPathFromIDListEx(items, itemPath, static_cast<DWORD>(std::size(itemPath)), GPFIDL_DEFAULT) &&
            itemPath[0]) {
            targets.emplace_back(itemPath);
        }
        ::CoTaskMemFree(items);
    }
    return !targets.empty();
}

bool IsLinkInto(const fs::path& link, const fs::path& folder, const std::wstring& location) {
    // Only a full path is compared as text: a relative one would be judged
    // against whatever folder the link names.
    const bool byText = fs::path(location).is_absolute();
    std::vector<fs::path> targets;
    if ((folder.empty() && !byText) || !ReadLinkTargets(link, targets)) return false;
    for (const fs::path& target : targets) {
        if (!target.is_absolute()) continue;
        if (!folder.empty() && IsPathInside(folder, target)) return true;
        if (byText && IsLexicallyInside(location, target.native())) return true;
    }
    return false;
}

}  // namespace zel
