#include "install/shortcuts/shortcut_creation.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <string_view>

#include "install/files/installed_names.h"
#include "util/ascii.h"
#include "util/known_folder.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace zel {

namespace fs = std::filesystem;

namespace {

// The target is the uninstaller the install adds to the install folder, which
// the builder accepts as a target as it stands.
bool IsUninstallExe(const std::wstring& target) { return EqualsIgnoreAsciiCase(target, kUninstallExeName); }

}  // namespace

bool CreateShortcut(const fs::path& linkPath, const fs::path& targetPath, const fs::path& workingDirectory,
                    std::wstring& errorText, bool targetMayBeMissing) {
    if (!targetMayBeMissing && !fs::exists(targetPath)) {  // throws when the status cannot be read
        errorText = L"ショートカット対象が見つかりません: " + targetPath.wstring();
        return false;
    }
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid()))) {
        errorText = L"IShellLink の生成に失敗しました。";
        return false;
    }
    link->SetPath(targetPath.c_str());
    link->SetIconLocation(targetPath.c_str(), 0);
    link->SetWorkingDirectory(workingDirectory.c_str());

    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.putVoid()))) {
        errorText = L"IPersistFile 取得に失敗しました。";
        return false;
    }
    if (const fs::path parent = linkPath.parent_path(); !parent.empty()) fs::create_directories(parent);
    if (FAILED(file->Save(linkPath.c_str(), TRUE))) {
        errorText = L"ショートカット保存に失敗しました。";
        return false;
    }
    return true;
}

bool CreateDesktopShortcut(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText) {
    if (config.MainExe.empty()) {
        errorText = L"setup.ini の [Files] セクションに exe の記述が見つからないため、ショートカットを作成できません。";
        return false;
    }
    const fs::path target = fs::path(installDir) / config.MainExe;
    if (!fs::exists(target)) {
        errorText = L"ショートカット対象の exe が見つかりません: " + target.wstring();
        return false;
    }
    const fs::path desktop = KnownFolderPath(FOLDERID_Desktop);
    if (desktop.empty()) {
        errorText = L"デスクトップパスの取得に失敗しました。";
        return false;
    }
    const fs::path link = LinkPathFor(desktop, config.ShortcutName);
    if (!IsConfinedName(config.ShortcutName) || !IsPathInside(desktop, link)) {
        errorText = L"ショートカット名が不正です: " + config.ShortcutName;
        return false;
    }
    return CreateShortcut(link, target, installDir, errorText);
}

bool CreateStartMenuItems(const std::wstring& installDir, const SetupConfig& config, std::wstring& errorText) {
    if (config.StartMenuGroupName.empty() || config.StartMenuItems.empty()) return true;
    const fs::path programs = KnownFolderPath(FOLDERID_Programs);
    if (programs.empty()) {
        errorText = L"スタートメニューパスの取得に失敗しました。";
        return false;
    }
    const fs::path group = programs / config.StartMenuGroupName;
    if (!IsConfinedName(config.StartMenuGroupName) || !IsPathInside(programs, group)) {
        errorText = L"スタートメニューのグループ名が不正です: " + config.StartMenuGroupName;
        return false;
    }
    fs::create_directories(group);
    for (const StartMenuItem& item : config.StartMenuItems) {
        const fs::path target = fs::path(installDir) / item.target;
        const fs::path link = LinkPathFor(group, item.label);
        std::wstring reason;
        bool made = false;
        if (!IsConfinedName(item.label) || !IsPathInside(group, link)) {
            reason = L"ショートカット名が不正です: " + item.label;
        } else {
            made = CreateShortcut(link, target, installDir, reason, IsUninstallExe(item.target));
        }
        if (!made) {
            // The install run puts its own "スタートメニュー項目作成失敗: " in front.
            errorText = item.label + L" (" + reason + L")";
            return false;
        }
    }
    return true;
}

}  // namespace zel
