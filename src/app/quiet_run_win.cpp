#include "app/quiet_run.h"

#include <windows.h>

#include <exception>
#include <string>

#include "app/dir_argument.h"
#include "app/exit_codes.h"
#include "app/product_lock.h"
#include "app/product_lock_name.h"
#include "app/quiet_reporter.h"
#include "app/startup.h"
#include "app/version.h"
#include "install/destination/destination_rules.h"
#include "install/install_run.h"
#include "install/setup_context.h"
#include "uninstall/uninstall_run.h"
#include "util/module_path.h"
#include "util/unicode.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr wchar_t kAlreadyRunning[] = L"[エラー] 同じ製品のセットアップまたはアンインストールが実行中です。";

int QuietUninstall(const CommandLine& commandLine, RunReporter& reporter) {
    if (!commandLine.installDir.empty()) {
        reporter.Log(L"[情報] アンインストールでは /dir の指定を無視します: " + commandLine.installDir);
    }
    ProductLock lock;
    if (!lock.TryAcquire(LockNameForProductKey(commandLine.productKey))) {
        reporter.Log(kAlreadyRunning);
        return kExitQuietAlreadyRunning;
    }
    std::wstring productKey = commandLine.productKey;
    switch (RunUninstall(productKey, reporter)) {
        case UninstallResult::Removed:
        case UninstallResult::Declined:
            return kExitSuccess;
        case UninstallResult::RemovedAtRestart:
            return kExitQuietRestartRequired;
        case UninstallResult::InvalidKey:
            return kExitQuietBadCommandLine;
        case UninstallResult::NotRegistered:
            return kExitQuietUnknownProduct;
        case UninstallResult::Failed:
            break;
    }
    return kExitQuietFailed;
}

// Over an installed product the run takes the choice a person would: Update an
// older (or unknown) version, Repair the same one, leave a newer one alone.
bool ChooseMaintenance(SetupContext& context, const InstalledProduct& product, RunReporter& reporter) {
    context.installedVersion = product.displayVersion;
    context.updateAvailable = IsUpdateAvailable(product.displayVersion, context.config.AppVersion);
    switch (ChooseUnattendedMaintenance(product.displayVersion, context.config.AppVersion)) {
        case UnattendedMaintenance::NewerInstalled:
            reporter.Log(L"[エラー] より新しいバージョン (" + product.displayVersion +
                         L") がインストールされています。" + L"このセットアップのバージョンは " +
                         context.config.AppVersion + L" です。");
            return false;
        case UnattendedMaintenance::Repair:
            context.repairMode = true;
            break;
        case UnattendedMaintenance::Update:
            context.updateMode = true;
            break;
    }
    context.installDir = product.installLocation;
    context.existingProductKey = product.keyName;
    return true;
}

int QuietSetup(const CommandLine& commandLine, const std::wstring& installDir, RunReporter& reporter) {
    SetupContext context;
    context.selfPath = OwnModulePath();
    if (!PrepareSetup(context, reporter)) return kExitQuietFailed;

    ProductLock lock;
    if (!lock.TryAcquire(ProductLockName(context.config.AppName))) {
        reporter.Log(kAlreadyRunning);
        return kExitQuietAlreadyRunning;
    }

    InstalledProduct product;
    if (FindExistingInstallation(context.config.AppName, product)) {
        if (!installDir.empty()) {
            reporter.Log(L"[情報] インストール済みの製品が見つかったため、/dir の指定を無視します: " +
                         commandLine.installDir);
        }
        if (!ChooseMaintenance(context, product, reporter)) return kExitQuietNewerInstalled;
    } else {
        if (!installDir.empty()) context.installDir = installDir;
        // A fresh install gets the Destination page's check, with this machine's facts.
        std::wstring problem;
        if (!ValidateDestination(context.installDir, context.config.AppName, problem)) {
            reporter.Log(L"[エラー] " + problem);
            return installDir.empty() ? kExitQuietFailed : kExitQuietBadCommandLine;
        }
    }
    // Starting a quiet run is accepting the licence.
    context.licenseAccepted = true;
    return RunInstall(context, reporter) ? kExitSuccess : kExitQuietFailed;
}

}  // namespace

int RunQuietProgram(const CommandLine& commandLine, LogFile& logFile) {
    // No system box either ("insert a disk", ...): the call fails instead.
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    QuietReporter reporter(logFile);
    if (!commandLine.error.empty()) {
        reporter.Log(L"[エラー] " + commandLine.error);
        return kExitQuietBadCommandLine;
    }
    std::wstring installDir;
    if (!commandLine.installDir.empty()) {
        std::wstring errorText;
        if (!CheckDirArgument(commandLine.installDir, installDir, errorText)) {
            reporter.Log(L"[エラー] " + errorText);
            return kExitQuietBadCommandLine;
        }
    }
    if (!commandLine.logFile.empty() && !logFile.IsOpen()) return kExitQuietLogFailed;

    const ComApartment com(COINIT_APARTMENTTHREADED);
    // Only the standard library throws (file-system errors, allocation failure).
    // A deployment tool must still get a failure code and the reason, not a crash.
    try {
        if (!commandLine.productKey.empty()) return QuietUninstall(commandLine, reporter);
        return QuietSetup(commandLine, installDir, reporter);
    } catch (const std::exception& error) {
        reporter.Log(L"[エラー] 予期しないエラーが発生しました: " + DecodeUtf8(error.what()));
        return kExitQuietFailed;
    }
}

}  // namespace zel
