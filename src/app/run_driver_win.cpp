// The start-up sequence: choose between uninstall and setup mode, prepare the
// run record, look for an installed copy and show the dialogs; or hand a
// "/quiet" run to the road without windows.
#include "app/run_driver.h"

#include <string>

#include "app/command_line.h"
#include "app/dir_argument.h"
#include "app/exit_codes.h"
#include "app/product_lock.h"
#include "app/product_lock_name.h"
#include "app/quiet_run.h"
#include "app/startup.h"
#include "app/version.h"
#include "install/registration/installed_product.h"
#include "ui/maintenance_dialog.h"
#include "ui/message_box_reporter.h"
#include "ui/resource_ids.h"
#include "ui/system_libraries.h"
#include "ui/wizard_dialog.h"
#include "ui/wizard_reporter.h"
#include "ui/wizard_state.h"
#include "uninstall/uninstall_run.h"
#include "util/error_text.h"
#include "util/log_file.h"
#include "util/module_path.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr wchar_t kTitleInitError[] = L"初期化エラー";
constexpr wchar_t kRichEditLoadFailed[] = L"RichEdit コンポーネントの読み込みに失敗しました。";

constexpr wchar_t kTitleAlreadyRunning[] = L"セットアップ実行中";
constexpr wchar_t kAlreadyRunning[] =
    L"同じ製品の別のセットアップまたはアンインストールが実行中です。\n"
    L"そちらが終わってから [再試行] を押してください。[キャンセル] を押すと何もせずに終了します。";
constexpr wchar_t kTitleCommandLine[] = L"コマンドライン";
constexpr wchar_t kWindowFailed[] = L"[エラー] セットアップの画面を表示できませんでした。";

constexpr wchar_t kRichEditLibrary[] = L"Msftedit.dll";
constexpr wchar_t kMsimg32Library[] = L"msimg32.dll";

// The uninstall run's result as the process exit code.
int UninstallExitCode(UninstallResult result) {
    return result == UninstallResult::Removed || result == UninstallResult::RemovedAtRestart ||
                   result == UninstallResult::Declined
               ? kExitSuccess
               : kExitFailure;
}

// The maintenance dialog for an installed product. Returns true when the wizard
// is to follow (Repair, Update, or a dialog that could not be shown); otherwise
// exitCode holds the program's result (Cancel, Uninstall).
bool RunMaintenance(HINSTANCE instance, InstallPlan& plan, const InstalledProduct& product, RunReporter& reporter,
                    int& exitCode) {
    MaintenanceParams params;
    params.config = &plan.config;
    params.product = &product;
    params.updateAvailable = IsUpdateAvailable(product.displayVersion, plan.config.AppVersion);
    const INT_PTR choice = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAINTENANCE), nullptr,
                                             MaintenanceDialogProc, reinterpret_cast<LPARAM>(&params));
    switch (choice) {
        case kMaintenanceCancel:
            exitCode = kExitSuccess;
            return false;
        case kMaintenanceUninstall:
            exitCode = UninstallExitCode(RunUninstall(product.keyName, reporter));
            return false;
        case kMaintenanceRepair:
            PlanMaintenance(plan, product, InstallMode::Repair);
            return true;
        case kMaintenanceUpdate:
            PlanMaintenance(plan, product, InstallMode::Update);
            return true;
        default:
            return true;  // plain install
    }
}

// Takes the product's lock. While another run holds it the person is asked to
// wait for it (Retry) or to give up (Cancel, or no box could be shown): false.
bool TakeProductLock(ProductLock& lock, const std::wstring& name, MessageBoxReporter& boxes) {
    while (!lock.TryAcquire(name)) {
        if (!boxes.AskRetry(kTitleAlreadyRunning, kAlreadyRunning)) return false;
    }
    return true;
}

// The log line of a window that could not be made (no display, no desktop).
void LogWindowFailure(RunReporter& reporter, DWORD error) {
    const std::wstring detail = Win32ErrorText(error);
    reporter.Log(detail.empty() ? std::wstring(kWindowFailed) : kWindowFailed + (L" " + detail));
}

// "/?": the command line in a box. Nothing else runs; a box that cannot be
// shown ends the run as a failure, so that nobody takes it for an install.
int ShowCommandLineHelp(MessageBoxReporter& boxes) {
    if (boxes.ShowNotice(NoticeKind::Information, kTitleCommandLine, CommandLineHelpText())) return kExitSuccess;
    LogWindowFailure(boxes, ::GetLastError());
    return kExitFailure;
}

// The /dir folder of an interactive run: the Destination page starts with it.
// A value that names no usable folder is left out, noted only in the log file.
std::wstring InteractiveInstallDir(const CommandLine& commandLine, RunReporter& reporter) {
    if (commandLine.installDir.empty()) return {};
    std::wstring folder;
    std::wstring errorText;
    if (!CheckDirArgument(commandLine.installDir, folder, errorText)) {
        reporter.Log(L"[警告] " + errorText);
        return {};
    }
    return folder;
}

int RunSetupMode(HINSTANCE instance, const CommandLine& commandLine, MessageBoxReporter& boxes, LogFile& logFile,
                 UniqueModule& richEdit) {
    const std::wstring installDir = InteractiveInstallDir(commandLine, boxes);
    WizardState state;
    InstallPlan& plan = state.plan;
    plan.selfPath = OwnModulePath();
    if (!PrepareSetup(plan, state.licenseText, boxes)) return kExitFailure;

    // Two runs of one product would both pass the destination check before
    // either has written anything: the second waits for the first or ends.
    ProductLock lock;
    if (!TakeProductLock(lock, ProductLockName(plan.config.AppName), boxes)) return kExitFailure;

    InstalledProduct product;
    const std::wstring dirArgument = installDir.empty() ? std::wstring() : commandLine.installDir;
    if (FindExistingInstallation(plan.config.AppName, dirArgument, product, boxes)) {
        int exitCode = kExitSuccess;
        if (!RunMaintenance(instance, plan, product, boxes, exitCode)) return exitCode;
    } else if (!installDir.empty()) {
        plan.installDir = installDir;
    }

    // Once shown, the wizard's end code carries nothing: its outcome is on screen
    // and on disk. A wizard that could not be shown did nothing: a failure.
    WizardReporter wizard(state, &logFile);
    state.reporter = &wizard;
    const INT_PTR end = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_WIZARD), nullptr, WizardDialogProc,
                                          reinterpret_cast<LPARAM>(&state));
    const DWORD error = ::GetLastError();
    richEdit.reset();
    if (end != kWizardFinished && end != kWizardCancelled) {
        LogWindowFailure(boxes, error);
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace

int RunSetupProgram(HINSTANCE instance) {
    // setup.exe usually runs from a downloads folder with administrator rights: no
    // library may come from the program's own folder or the current directory.
    RestrictDllSearchToSystemFolder();
    // System code loads msimg32 by name later (the common controls delay-load it
    // for message boxes and themed drawing), and not every loader applies the
    // restriction above to delay-loaded imports. Loaded from System32 now, it is
    // found in the process by that later load, which then never looks beside us.
    const UniqueModule msimg32(LoadSystemLibrary(kMsimg32Library));

    const CommandLine commandLine = ParseCommandLine(CommandLineArguments());
    // A log file that cannot be opened stops a quiet run; an interactive run goes
    // on without it and says nothing.
    LogFile logFile;
    if (!commandLine.logFile.empty()) {
        std::wstring ignored;
        logFile.Open(commandLine.logFile, ignored);
    }
    // Nothing of the dialogs is loaded for a quiet run: it shows none.
    if (commandLine.quiet) return RunQuietProgram(commandLine, logFile);

    MessageBoxReporter boxes(&logFile);
    if (!commandLine.error.empty()) boxes.Log(L"[警告] " + commandLine.error);
    if (commandLine.help) return ShowCommandLineHelp(boxes);

    // Provides the licence control's window class; loaded before anything else,
    // in uninstall mode too.
    UniqueModule richEdit(LoadSystemLibrary(kRichEditLibrary));
    if (!richEdit) {
        boxes.Notify(NoticeKind::Error, kTitleInitError, kRichEditLoadFailed);
        return kExitFailure;
    }

    const ComApartment com(COINIT_APARTMENTTHREADED);
    InitProgressCommonControl();

    if (!commandLine.productKey.empty()) {
        ProductLock lock;
        if (!TakeProductLock(lock, LockNameForProductKey(commandLine.productKey), boxes)) return kExitFailure;
        const int result = UninstallExitCode(RunUninstall(commandLine.productKey, boxes));
        richEdit.release();  // stays loaded until the process ends
        return result;
    }
    return RunSetupMode(instance, commandLine, boxes, logFile, richEdit);
}

}  // namespace zel
