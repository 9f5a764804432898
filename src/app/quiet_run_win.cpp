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
    switch (RunUninstall(commandLine.productKey, reporter)) {
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
bool ChooseMaintenance(InstallPlan& plan, const InstalledProduct& product, RunReporter& reporter) {
    switch (ChooseUnattendedMaintenance(product.displayVersion, plan.config.AppVersion)) {
        case UnattendedMaintenance::NewerInstalled:
            reporter.Log(L"[エラー] より新しいバージョン (" + product.displayVersion +
                         L") がインストールされています。" + L"このセットアップのバージョンは " +
                         plan.config.AppVersion + L" です。");
            return false;
        case UnattendedMaintenance::Repair:
            PlanMaintenance(plan, product, InstallMode::Repair);
            return true;
        case UnattendedMaintenance::Update:
            PlanMaintenance(plan, product, InstallMode::Update);
            return true;
    }
    return false;
}

int QuietSetup(const CommandLine& commandLine, const std::wstring& installDir, RunReporter& reporter) {
    InstallPlan plan;
    plan.selfPath = OwnModulePath();
    // Starting a quiet run is accepting the licence: its text is read only to
    // check that the product carries one.
    std::wstring licenseText;
    if (!PrepareSetup(plan, licenseText, reporter)) return kExitQuietFailed;

    ProductLock lock;
    if (!lock.TryAcquire(ProductLockName(plan.config.AppName))) {
        reporter.Log(kAlreadyRunning);
        return kExitQuietAlreadyRunning;
    }

    InstalledProduct product;
    const std::wstring dirArgument = installDir.empty() ? std::wstring() : commandLine.installDir;
    if (FindExistingInstallation(plan.config.AppName, dirArgument, product, reporter)) {
        if (!ChooseMaintenance(plan, product, reporter)) return kExitQuietNewerInstalled;
    } else {
        if (!installDir.empty()) plan.installDir = installDir;
        // A fresh install gets the Destination page's check, with this machine's facts.
        std::wstring problem;
        if (!ValidateDestination(plan.installDir, plan.config, problem)) {
            reporter.Log(L"[エラー] " + problem);
            return installDir.empty() ? kExitQuietFailed : kExitQuietBadCommandLine;
        }
    }
    return RunInstall(plan, reporter) ? kExitSuccess : kExitQuietFailed;
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
        reporter.Log(L"[エラー] 予期しないエラーが発生しました: " + Utf8ToWide(error.what()));
        return kExitQuietFailed;
    }
}

}  // namespace zel
