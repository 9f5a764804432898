// The start-up sequence: choose between uninstall and setup mode, prepare the
// run record, look for an installed copy and show the dialogs.
#include "app/run_driver.h"

#include <shellapi.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_line.h"
#include "app/version.h"
#include "config/setup_config.h"
#include "config/text_encoding.h"
#include "install/installed_product.h"
#include "install/setup_context.h"
#include "install/uninstall_registry.h"
#include "payload/payload.h"
#include "payload/temp_folder.h"
#include "ui/maintenance_dialog.h"
#include "ui/message_box_reporter.h"
#include "ui/resource_ids.h"
#include "ui/system_libraries.h"
#include "ui/wizard_dialog.h"
#include "ui/wizard_reporter.h"
#include "uninstall/uninstall_run.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr wchar_t kTitleInitError[] = L"初期化エラー";
constexpr wchar_t kTitleInvalidSetup[] = L"無効なセットアップ";
constexpr wchar_t kTitleConfigError[] = L"設定エラー";

constexpr wchar_t kRichEditLoadFailed[] = L"RichEdit コンポーネントの読み込みに失敗しました。";
constexpr wchar_t kPayloadMissing[] =
    L"埋め込みペイロードリソースが見つかりません。\nInstallerBuilder を実行して setup.exe を再生成してください。";
constexpr wchar_t kPayloadExtractFailed[] = L"埋め込みペイロードの展開に失敗しました。";
constexpr wchar_t kLicenseFileNotSet[] = L"setup.ini の [Setup] LicenseFile が未設定です。";
constexpr wchar_t kLicenseTextUnreadable[] =
    L"使用許諾ファイルを読み込めませんでした。LicenseFile を確認してください。";

constexpr wchar_t kRichEditLibrary[] = L"Msftedit.dll";
constexpr wchar_t kMsimg32Library[] = L"msimg32.dll";
constexpr wchar_t kSetupIniName[] = L"setup.ini";

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Start-up failures: no owner window, error icon, OK only; the process then ends with 1.
int FailStartup(RunReporter& reporter, const wchar_t* message, const wchar_t* title) {
    reporter.Notify(NoticeKind::Error, title, message);
    return kExitFailure;
}

// The uninstall run's result as the process exit code.
int UninstallExitCode(UninstallResult result) {
    return result == UninstallResult::Removed || result == UninstallResult::Declined ? kExitSuccess : kExitFailure;
}

// The whole command line split as CommandLineToArgvW does, program path first;
// empty when it cannot be split (setup mode then runs).
std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const UniqueLocalMem owner(reinterpret_cast<HLOCAL>(argv));
    if (!argv) return {};
    return std::vector<std::wstring>(argv, argv + count);
}

std::wstring OwnModulePath() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::wstring(buffer, length);
}

bool PathExists(const std::wstring& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path), error) && !error;
}

// An Uninstall key of this product whose install folder is still there. A key
// whose folder is gone is disregarded: a plain install then runs.
bool FindExistingInstallation(const std::wstring& appName, InstalledProduct& product) {
    return FindInstalledProduct(appName, product) && PathExists(product.installLocation);
}

// Reads and extracts the payload, loads setup.ini and the licence text. Returns
// the exit code of a failure (after its message), or kExitSuccess to go on.
int PrepareSetup(SetupContext& context, RunReporter& reporter) {
    if (!ReadPayload(::GetModuleHandleW(nullptr), context.payloadData, context.payloadEntries)) {
        return FailStartup(reporter, kPayloadMissing, kTitleInvalidSetup);
    }
    // Also the answer when the temp folder itself cannot be created.
    context.tempDir = CreateProcessTempFolder();
    if (context.tempDir.empty()) return FailStartup(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    if (!ExtractPayload(context.tempDir, context.payloadData, context.payloadEntries)) {
        return FailStartup(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    }

    const std::filesystem::path tempDir(context.tempDir);
    LoadSetupConfig(tempDir / kSetupIniName, context.config);
    context.installDir = context.config.DefaultInstallDir;

    if (context.config.LicenseFile.empty()) return FailStartup(reporter, kLicenseFileNotSet, kTitleConfigError);
    // An absolute LicenseFile replaces the temp folder.
    context.licenseText = LoadTextFile(tempDir / context.config.LicenseFile);
    if (context.licenseText.empty()) return FailStartup(reporter, kLicenseTextUnreadable, kTitleConfigError);
    return kExitSuccess;
}

// The maintenance dialog for an installed product. Returns true when the wizard
// is to follow (Repair, Update, or a dialog that could not be shown); otherwise
// exitCode holds the program's result (Cancel, Uninstall).
bool RunMaintenance(HINSTANCE instance, SetupContext& context, InstalledProduct& product, RunReporter& reporter,
                    int& exitCode) {
    context.installedVersion = product.displayVersion;
    context.updateAvailable = IsUpdateAvailable(product.displayVersion, context.config.AppVersion);

    MaintenanceParams params{&context, &product, nullptr, nullptr};
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
            context.repairMode = true;
            break;
        case kMaintenanceUpdate:
            context.updateMode = true;
            break;
        default:
            return true;  // plain install
    }
    // Repair and Update install over the found folder and re-register under its key.
    context.installDir = product.installLocation;
    context.existingProductKey = product.keyName;
    return true;
}

int RunSetupMode(HINSTANCE instance, RunReporter& boxes, UniqueModule& richEdit) {
    SetupContext context;
    context.selfPath = OwnModulePath();
    if (const int failure = PrepareSetup(context, boxes); failure != kExitSuccess) return failure;

    InstalledProduct product;
    if (FindExistingInstallation(context.config.AppName, product)) {
        int exitCode = kExitSuccess;
        if (!RunMaintenance(instance, context, product, boxes, exitCode)) return exitCode;
    }

    // The wizard's end code carries nothing: its outcome is on screen and on disk.
    WizardReporter wizard(context);
    context.reporter = &wizard;
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_WIZARD), nullptr, WizardDialogProc,
                      reinterpret_cast<LPARAM>(&context));
    richEdit.reset();
    return kExitSuccess;
}

}  // namespace

int RunSetupProgram(HINSTANCE instance) {
    // setup.exe usually runs from a downloads folder with administrator rights: no
    // library may come from the program's own folder or the current directory.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // System code loads msimg32 by name later (the common controls delay-load it
    // for message boxes and themed drawing), and not every loader applies the
    // restriction above to delay-loaded imports. Loaded from System32 now, it is
    // found in the process by that later load, which then never looks beside us.
    const UniqueModule msimg32(LoadSystemLibrary(kMsimg32Library));

    // Provides the licence control's window class; loaded before anything else,
    // in uninstall mode too.
    MessageBoxReporter boxes;
    UniqueModule richEdit(LoadSystemLibrary(kRichEditLibrary));
    if (!richEdit) return FailStartup(boxes, kRichEditLoadFailed, kTitleInitError);

    std::wstring productKey = UninstallKeyFromArguments(CommandLineArguments());

    const ComApartment com(COINIT_APARTMENTTHREADED);
    InitProgressCommonControl();

    if (!productKey.empty()) {
        const int result = UninstallExitCode(RunUninstall(productKey, boxes));
        richEdit.release();  // stays loaded until the process ends
        return result;
    }
    return RunSetupMode(instance, boxes, richEdit);
}

}  // namespace zel
