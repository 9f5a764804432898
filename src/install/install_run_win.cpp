#include "install/install_run.h"

#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "install/destination/folder_security.h"
#include "install/extra_destination/extra_destination.h"
#include "install/files/background_copy.h"
#include "install/files/entry_write.h"
#include "install/files/manifest.h"
#include "install/files/payload_copy.h"
#include "install/registration/uninstall_entry.h"
#include "install/shortcuts/shortcut_creation.h"
#include "install/system_folder/shared_dll_count.h"
#include "install/system_folder/system_folder.h"
#include "payload/payload_files.h"
#include "run/run_failures.h"
#include "util/ascii.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

// A product key is built in a buffer of 40 characters including the terminator.
constexpr size_t kProductKeyMaxLength = 39;
constexpr int kGuidTextCapacity = 40;

// Size of the copied payload in KiB, rounded up and capped at 32 bits. A file
// that is gone or unreadable by now simply counts as nothing.
std::uint32_t EstimatedSizeKb(const fs::path& installDir, const std::vector<std::wstring>& copiedFiles) {
    std::uint64_t total = 0;
    for (const std::wstring& entry : copiedFiles) {
        const fs::path file = installDir / entry;
        std::error_code error;
        if (!fs::is_regular_file(file, error)) continue;
        const std::uintmax_t size = fs::file_size(file, error);
        if (error) continue;
        total += size;
    }
    const std::uint64_t kb = total / 1024 + (total % 1024 != 0 ? 1 : 0);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(kb, 0xFFFFFFFFu));
}

// Where Uninstall.exe is copied while the product files are written: a name of
// this process in the install folder that no product file takes.
fs::path UninstallExeDraft(const SetupContext& context, const fs::path& installDir) {
    const std::vector<PayloadFile> files = ProductFilesInWalkOrder(context.payloadEntries);
    const std::wstring stem = std::wstring(kUninstallExeName) + L"." + std::to_wstring(::GetCurrentProcessId());
    for (unsigned n = 0;; ++n) {
        const std::wstring name = stem + L"-" + std::to_wstring(n) + L".tmp";
        const bool taken = std::any_of(files.begin(), files.end(), [&](const PayloadFile& file) {
            return EqualsIgnoreAsciiCase(file.relative, name);
        });
        if (!taken) return installDir / name;
    }
}

// A fresh GUID in registry form ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}").
bool NewProductKey(std::wstring& productKey) {
    GUID guid;
    if (FAILED(::CoCreateGuid(&guid))) return false;
    wchar_t text[kGuidTextCapacity] = {};
    if (::StringFromGUID2(guid, text, kGuidTextCapacity) == 0) return false;
    productKey = text;
    return true;
}

void RegisterProduct(const SetupContext& context, RunReporter& reporter, const fs::path& installDir,
                     std::uint32_t estimatedSizeKb) {
    const InstallMode mode = GetInstallMode(context);
    const std::wstring uninstallExe = (installDir / kUninstallExeName).wstring();
    if (mode != InstallMode::Install && !context.existingProductKey.empty()) {
        const std::wstring productKey = context.existingProductKey.substr(0, kProductKeyMaxLength);
        if (!RegisterUninstallEntry(context.installDir, uninstallExe, context.config, productKey, estimatedSizeKb)) {
            reporter.Log(L"[警告] アンインストール用レジストリの更新に失敗しました。管理者権限で実行してください。");
        }
        return;
    }
    std::wstring productKey;
    if (!NewProductKey(productKey)) {
        reporter.Log(L"[警告] 製品 ID の生成に失敗しました。");
        return;
    }
    if (!RegisterUninstallEntry(context.installDir, uninstallExe, context.config, productKey, estimatedSizeKb)) {
        reporter.Log(L"[警告] アンインストール用レジストリの登録に失敗しました。管理者権限で実行してください。");
    }
}

const wchar_t* SuccessLine(InstallMode mode) {
    switch (mode) {
        case InstallMode::Repair:
            return L"修復が正常に完了しました。";
        case InstallMode::Update:
            return L"アップデートが正常に完了しました。";
        case InstallMode::Install:
            break;
    }
    return L"インストールが正常に完了しました。";
}

// Everything after the log is cleared. Returns the text of the error box when a
// fatal step fails; nothing after success.
std::optional<std::wstring> RunSteps(SetupContext& context, RunReporter& reporter) {
    const SetupConfig& config = context.config;
    const fs::path installDir(context.installDir);

    // A folder made here gets an access list like Program Files'; one that was
    // there is left as it is, but a standard user who can write to it could
    // replace Uninstall.exe, which an administrator later runs.
    if (!CreateProtectedFolder(installDir) && StandardUsersCanWrite(installDir)) {
        reporter.Log(L"[警告] 標準ユーザーが書き込めるフォルダにインストールします: " + context.installDir);
    }

    // setup.exe, payload included, is as large as all product files together:
    // its copy as Uninstall.exe runs beside theirs and is put in place at its
    // turn. A run that stops earlier removes it.
    const fs::path uninstallExe = installDir / kUninstallExeName;
    BackgroundFileCopy uninstallCopy(context.selfPath, UninstallExeDraft(context, installDir), uninstallExe);

    std::vector<std::wstring> copiedFiles;
    if (!CopyPayloadFiles(context, reporter, &copiedFiles)) {
        return L"インストールに失敗しました。詳細はログを確認してください。";
    }

    std::wstring errorText;
    if (!MirrorToExtraFolders(&reporter, context.installDir, copiedFiles, config.Files, errorText)) {
        return L"追加のコピー先 (MstaFolder) へファイルを配置できませんでした。\n" + errorText;
    }

    std::vector<std::wstring> regsvrFiles;
    std::vector<std::wstring> copyOnlyFiles;
    if (!config.System32RegSvr.empty()) {
        errorText.clear();
        // The system-folder step reads its files from a folder: they are written
        // there from the payload for the step only.
        const StagedPayloadFiles staged(context, config.System32RegSvr, context.tempDir);
        if (!staged.damaged().empty()) {
            reporter.Log(L"[エラー] 埋め込みペイロードのファイルが破損しています: " + staged.damaged());
            return L"インストールに失敗しました。詳細はログを確認してください。";
        }
        // Repair and Update: the installed product holds counts on what its
        // system manifests list.
        if (GetInstallMode(context) != InstallMode::Install) {
            const std::vector<std::wstring> counted = CountedSystemFiles(installDir);
            context.countedSystemFiles.insert(context.countedSystemFiles.end(), counted.begin(), counted.end());
        }
        if (!DeploySystemFiles(&reporter, context.tempDir, config, regsvrFiles, copyOnlyFiles, errorText,
                               context.countedSystemFiles)) {
            return L"システムフォルダへの配置または regsvr32 登録に失敗しました。\n" + errorText;
        }
    }

    if (!regsvrFiles.empty() && !WriteManifest(installDir / kRegsvrManifestName, regsvrFiles)) {
        reporter.Log(L"[警告] system32_regsvr_manifest.txt の作成に失敗しました。");
    }
    if (!copyOnlyFiles.empty() && !WriteManifest(installDir / kCopyManifestName, copyOnlyFiles)) {
        reporter.Log(L"[警告] system32_copy_manifest.txt の作成に失敗しました。");
    }

    errorText.clear();
    if (CreateDesktopShortcut(context.installDir, config, errorText)) {
        reporter.Log(L"デスクトップショートカットを作成しました。");
    } else {
        reporter.Log(L"[警告] デスクトップショートカット作成失敗: " + errorText);
    }

    errorText.clear();
    if (!CreateStartMenuItems(context.installDir, config, errorText)) {
        reporter.Log(L"[警告] スタートメニュー項目作成失敗: " + errorText);
    } else if (!config.StartMenuGroupName.empty() && !config.StartMenuItems.empty()) {
        reporter.Log(L"スタートメニュー項目を作成しました。");
    }

    // Fails harmlessly when the running program is the installed Uninstall.exe
    // itself.
    if (!uninstallCopy.Finish()) {
        reporter.Log(L"[警告] Uninstall.exe のコピーに失敗しました。");
    }

    std::vector<std::wstring> manifest = copiedFiles;
    manifest.push_back(kInstallManifestName);
    manifest.push_back(kUninstallExeName);
    if (!regsvrFiles.empty()) manifest.push_back(kRegsvrManifestName);
    if (!copyOnlyFiles.empty()) manifest.push_back(kCopyManifestName);
    if (!WriteInstallManifest(installDir, manifest)) {
        reporter.Log(L"[警告] install_manifest.txt の作成に失敗しました。");
    }

    RegisterProduct(context, reporter, installDir, EstimatedSizeKb(installDir, copiedFiles));

    reporter.Log(SuccessLine(GetInstallMode(context)));
    return std::nullopt;
}

}  // namespace

bool RunInstall(SetupContext& context, RunReporter& reporter) {
    reporter.InstallStarted();

    const std::optional<std::wstring> failure =
        CatchRunFailures([&context, &reporter] { return RunSteps(context, reporter); });
    if (failure) reporter.Notify(NoticeKind::Error, L"エラー", *failure);
    reporter.InstallFinished(!failure);
    return !failure;
}

}  // namespace zel
