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
#include "install/files/uninstall_exe_draft.h"
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
fs::path UninstallExeDraft(const InstallPlan& plan, const fs::path& installDir) {
    const std::vector<PayloadFile> files = ProductFilesInWalkOrder(plan.payload.entries());
    for (unsigned n = 0;; ++n) {
        const std::wstring name = UninstallExeDraftName(::GetCurrentProcessId(), n);
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

constexpr wchar_t kSeeTheLog[] = L"インストールに失敗しました。詳細はログを確認してください。";

// What one run places, handed from step to step.
struct RunRecord {
    std::vector<std::wstring> copiedFiles;
    std::vector<std::wstring> regsvrFiles;
    std::vector<std::wstring> copyOnlyFiles;
    std::vector<RaisedSharedCount> raisedCounts;  // by the system-folder step, undone if the run fails
};

// The install folder. A folder made here gets an access list like Program
// Files'. An elevated run writes nowhere a standard user could steer it: not
// through a link or junction one of them could have made, and not into an
// existing folder they may change (they could put links in it at any time, or
// replace Uninstall.exe, which an administrator later runs). Refused before
// anything is written.
std::optional<std::wstring> PrepareInstallFolder(const InstallPlan& plan, RunReporter& reporter) {
    fs::path refusedAt;
    std::wstring reason;
    switch (MakeInstallFolder(fs::path(plan.installDir), refusedAt)) {
        case InstallFolderRefusal::None:
            return std::nullopt;
        case InstallFolderRefusal::LinkInTheWay:
            reason = L"リンクまたはジャンクションを経由するため書き込めません: " + refusedAt.wstring();
            break;
        case InstallFolderRefusal::StandardUsersControl:
            reason = L"標準ユーザーが書き込めるフォルダにはインストールできません: " + refusedAt.wstring();
            break;
    }
    reporter.Log(L"[エラー] " + reason);
    return L"インストール先フォルダを使用できません。\n" + reason;
}

std::optional<std::wstring> CopyProductFiles(const InstallPlan& plan, RunReporter& reporter, RunRecord& record) {
    if (!CopyPayloadFiles(plan, reporter, &record.copiedFiles)) return kSeeTheLog;
    return std::nullopt;
}

std::optional<std::wstring> MirrorToExtraDestination(const InstallPlan& plan, RunReporter& reporter,
                                                     const RunRecord& record) {
    std::wstring errorText;
    if (!MirrorToExtraFolders(&reporter, plan.installDir, record.copiedFiles, plan.config.Files, errorText)) {
        return L"追加のコピー先 (MstaFolder) へファイルを配置できませんでした。\n" + errorText;
    }
    return std::nullopt;
}

std::optional<std::wstring> PlaceSystemFiles(InstallPlan& plan, RunReporter& reporter, RunRecord& record) {
    if (plan.config.System32RegSvr.empty()) return std::nullopt;
    // The system-folder step reads its files from a folder: they are written
    // there from the payload for the step only.
    const StagedPayloadFiles staged(plan.payload, plan.config.System32RegSvr, plan.tempDir);
    if (!staged.damaged().empty()) {
        reporter.Log(L"[エラー] 埋め込みペイロードのファイルが破損しています: " + staged.damaged());
        return kSeeTheLog;
    }
    // An installation already in the folder holds counts on what its recorded
    // system manifests list, and those files are its own.
    const std::vector<std::wstring> counted = CountedSystemFiles(fs::path(plan.installDir));
    plan.countedSystemFiles.insert(plan.countedSystemFiles.end(), counted.begin(), counted.end());
    std::wstring errorText;
    if (!DeploySystemFiles(&reporter, plan.tempDir, plan.config, record.regsvrFiles, record.copyOnlyFiles, errorText,
                           plan.countedSystemFiles, record.raisedCounts)) {
        return L"システムフォルダへの配置または regsvr32 登録に失敗しました。\n" + errorText;
    }
    return std::nullopt;
}

// Until the system manifests record them, the counts the system-folder step
// raised and the files it placed are undone when the run stops: a failed run
// leaves the system folders and their counts as it found them, an earlier
// installation's files included.
class SystemFolderRollback {
public:
    SystemFolderRollback(InstallPlan& plan, RunRecord& record) : plan_(plan), record_(record) {}
    SystemFolderRollback(const SystemFolderRollback&) = delete;
    SystemFolderRollback& operator=(const SystemFolderRollback&) = delete;
    ~SystemFolderRollback() {
        if (kept_) return;
        try {
            UndoRaisedCounts(record_.raisedCounts, plan_.countedSystemFiles);
        } catch (const std::exception&) {
            // Already failing: what could not be undone stays counted, and a
            // retry does not count it again.
        }
    }
    void Keep() { kept_ = true; }

private:
    InstallPlan& plan_;
    RunRecord& record_;
    bool kept_ = false;
};

// The earlier installation's system files that this run no longer places stay
// counted, so they stay on record as well: the uninstall releases them.
void WriteSystemManifests(const InstallPlan& plan, RunReporter& reporter, RunRecord& record) {
    const fs::path installDir(plan.installDir);
    std::vector<std::wstring> placed = record.regsvrFiles;
    placed.insert(placed.end(), record.copyOnlyFiles.begin(), record.copyOnlyFiles.end());
    record.regsvrFiles = WithEarlierRecordedLines(installDir / kRegsvrManifestName, record.regsvrFiles, placed);
    record.copyOnlyFiles = WithEarlierRecordedLines(installDir / kCopyManifestName, record.copyOnlyFiles, placed);
    if (!record.regsvrFiles.empty() && !WriteSystemManifest(installDir / kRegsvrManifestName, record.regsvrFiles)) {
        reporter.Log(L"[警告] system32_regsvr_manifest.txt の作成に失敗しました。");
    }
    if (!record.copyOnlyFiles.empty() && !WriteSystemManifest(installDir / kCopyManifestName, record.copyOnlyFiles)) {
        reporter.Log(L"[警告] system32_copy_manifest.txt の作成に失敗しました。");
    }
}

void CreateShortcuts(const InstallPlan& plan, RunReporter& reporter) {
    const SetupConfig& config = plan.config;
    std::wstring errorText;
    if (CreateDesktopShortcut(plan.installDir, config, errorText)) {
        reporter.Log(L"デスクトップショートカットを作成しました。");
    } else {
        reporter.Log(L"[警告] デスクトップショートカット作成失敗: " + errorText);
    }

    errorText.clear();
    if (!CreateStartMenuItems(plan.installDir, config, errorText)) {
        reporter.Log(L"[警告] スタートメニュー項目作成失敗: " + errorText);
    } else if (!config.StartMenuGroupName.empty() && !config.StartMenuItems.empty()) {
        reporter.Log(L"スタートメニュー項目を作成しました。");
    }
}

// Fails harmlessly when the running program is the installed Uninstall.exe
// itself.
void PutUninstallExeInPlace(BackgroundFileCopy& uninstallCopy, RunReporter& reporter) {
    if (!uninstallCopy.Finish()) reporter.Log(L"[警告] Uninstall.exe のコピーに失敗しました。");
}

// Update and Repair keep listing what the installation placed before and this
// run did not replace, so that the uninstall still removes it.
void WriteInstallManifestOf(const InstallPlan& plan, RunReporter& reporter, const RunRecord& record) {
    std::vector<std::wstring> manifest = record.copiedFiles;
    manifest.push_back(kInstallManifestName);
    manifest.push_back(kUninstallExeName);
    if (!record.regsvrFiles.empty()) manifest.push_back(kRegsvrManifestName);
    if (!record.copyOnlyFiles.empty()) manifest.push_back(kCopyManifestName);
    if (plan.mode != InstallMode::Install) manifest = CarryOverInstalledEntries(plan.installDir, std::move(manifest));
    if (!WriteInstallManifest(fs::path(plan.installDir), manifest)) {
        reporter.Log(L"[警告] install_manifest.txt の作成に失敗しました。");
    }
}

// Update and Repair register again under the installation's key; an install
// under a fresh GUID.
void RegisterProduct(const InstallPlan& plan, RunReporter& reporter, const RunRecord& record) {
    const bool again = plan.mode != InstallMode::Install && !plan.existingProductKey.empty();
    std::wstring productKey;
    if (again) {
        productKey = plan.existingProductKey.substr(0, kProductKeyMaxLength);
    } else if (!NewProductKey(productKey)) {
        reporter.Log(L"[警告] 製品 ID の生成に失敗しました。");
        return;
    }
    const fs::path installDir(plan.installDir);
    const std::wstring uninstallExe = (installDir / kUninstallExeName).wstring();
    if (!RegisterUninstallEntry(plan.installDir, uninstallExe, plan.config, productKey,
                                EstimatedSizeKb(installDir, record.copiedFiles))) {
        reporter.Log(again
                         ? L"[警告] アンインストール用レジストリの更新に失敗しました。管理者権限で実行してください。"
                         : L"[警告] アンインストール用レジストリの登録に失敗しました。管理者権限で実行してください。");
    }
}

// Everything after the log is cleared, in order. The first three steps are
// fatal: they return the text of the error box. The others only log a warning
// when they fail. Nothing after success.
std::optional<std::wstring> RunSteps(InstallPlan& plan, RunReporter& reporter) {
    const fs::path installDir(plan.installDir);
    RunRecord record;

    // A damaged setup.exe is found before anything of the product exists.
    if (!CheckPayloadFiles(plan, reporter)) return kSeeTheLog;
    if (auto failure = PrepareInstallFolder(plan, reporter)) return failure;
    // Drafts that killed runs left behind; a run still going keeps its own.
    RemoveUninstallExeDrafts(installDir, true);
    // setup.exe, payload included, is as large as all product files together:
    // its copy as Uninstall.exe runs beside theirs and is put in place at its
    // turn. A run that stops earlier removes it.
    BackgroundFileCopy uninstallCopy(plan.selfPath, UninstallExeDraft(plan, installDir),
                                     installDir / kUninstallExeName);

    if (auto failure = CopyProductFiles(plan, reporter, record)) return failure;
    if (auto failure = MirrorToExtraDestination(plan, reporter, record)) return failure;
    SystemFolderRollback systemFolderRollback(plan, record);
    if (auto failure = PlaceSystemFiles(plan, reporter, record)) return failure;
    WriteSystemManifests(plan, reporter, record);
    systemFolderRollback.Keep();
    // Before the shortcuts: a Start-menu item may link to Uninstall.exe.
    PutUninstallExeInPlace(uninstallCopy, reporter);
    CreateShortcuts(plan, reporter);
    WriteInstallManifestOf(plan, reporter, record);
    RegisterProduct(plan, reporter, record);

    reporter.Log(SuccessLine(plan.mode));
    return std::nullopt;
}

}  // namespace

bool RunInstall(InstallPlan& plan, RunReporter& reporter) {
    reporter.InstallStarted();

    const std::optional<std::wstring> failure =
        CatchRunFailures([&plan, &reporter] { return RunSteps(plan, reporter); });
    if (failure) reporter.Notify(NoticeKind::Error, L"エラー", *failure);
    reporter.InstallFinished(!failure);
    return !failure;
}

}  // namespace zel
