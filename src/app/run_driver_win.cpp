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
#include "util/log_file.h"
#include "util/module_path.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr wchar_t kTitleInitError[] = L"初期化エラー";
constexpr wchar_t kRichEditLoadFailed[] = L"RichEdit コンポーネントの読み込みに失敗しました。";

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

int RunSetupMode(HINSTANCE instance, const CommandLine& commandLine, RunReporter& boxes, LogFile& logFile,
                 UniqueModule& richEdit) {
    const std::wstring installDir = InteractiveInstallDir(commandLine, boxes);
    WizardState state;
    InstallPlan& plan = state.plan;
    plan.selfPath = OwnModulePath();
    if (!PrepareSetup(plan, state.licenseText, boxes)) return kExitFailure;

    // Another run of the product changes nothing here: a person sees what happens.
    ProductLock lock;
    lock.TryAcquire(ProductLockName(plan.config.AppName));

    InstalledProduct product;
    const std::wstring dirArgument = installDir.empty() ? std::wstring() : commandLine.installDir;
    if (FindExistingInstallation(plan.config.AppName, dirArgument, product, boxes)) {
        int exitCode = kExitSuccess;
        if (!RunMaintenance(instance, plan, product, boxes, exitCode)) return exitCode;
    } else if (!installDir.empty()) {
        plan.installDir = installDir;
    }

    // The wizard's end code carries nothing: its outcome is on screen and on disk.
    WizardReporter wizard(state, &logFile);
    state.reporter = &wizard;
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_WIZARD), nullptr, WizardDialogProc,
                      reinterpret_cast<LPARAM>(&state));
    richEdit.reset();
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
        lock.TryAcquire(LockNameForProductKey(commandLine.productKey));
        const int result = UninstallExitCode(RunUninstall(commandLine.productKey, boxes));
        richEdit.release();  // stays loaded until the process ends
        return result;
    }
    return RunSetupMode(instance, commandLine, boxes, logFile, richEdit);
}

}  // namespace zel
