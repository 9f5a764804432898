#include "automation/shell.h"

#include <shobjidl.h>

#include "util/unique_handle.h"

namespace zel::e2e {

std::filesystem::path KnownFolder(REFKNOWNFOLDERID id) {
    UniqueCoTaskString path;
    if (FAILED(::SHGetKnownFolderPath(id, 0, nullptr, path.put())) || !path) return {};
    return std::filesystem::path(path.get());
}

std::optional<ShortcutContent> ReadShortcut(const std::filesystem::path& link) {
    ComPtr<IShellLinkW> shellLink;
    if (FAILED(
            ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.putVoid())))
        return std::nullopt;
    ComPtr<IPersistFile> file;
    if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.putVoid()))) return std::nullopt;
    if (FAILED(file->Load(link.c_str(), STGM_READ))) return std::nullopt;

    ShortcutContent content;
    wchar_t buffer[MAX_PATH * 4] = {};
    // The item list keeps the target's names in UTF-16; the plain path may have
    // passed through the ANSI code page (Wine reads it back from there).
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(shellLink->GetIDList(&items)) && items) {
        if (::SHGetPathFromIDListW(items, buffer)) content.target = buffer;
        ::CoTaskMemFree(items);
    }
    if (content.target.empty() &&
        SUCCEEDED(shellLink->GetPath(buffer, static_cast<int>(std::size(buffer)), nullptr, SLGP_RAWPATH)))
        content.target = buffer;
    buffer[0] = L'\0';
    if (SUCCEEDED(shellLink->GetWorkingDirectory(buffer, static_cast<int>(std::size(buffer)))))
        content.workingDirectory = buffer;
    buffer[0] = L'\0';
    if (SUCCEEDED(shellLink->GetIconLocation(buffer, static_cast<int>(std::size(buffer)), &content.iconIndex)))
        content.iconPath = buffer;
    buffer[0] = L'\0';
    if (SUCCEEDED(shellLink->GetArguments(buffer, static_cast<int>(std::size(buffer))))) content.arguments = buffer;
    return content;
}

}  // namespace zel::e2e
