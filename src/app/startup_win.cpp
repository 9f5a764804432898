#include "app/startup.h"

#include <windows.h>
// shellapi.h needs the types windows.h declares.
#include <shellapi.h>

#include <filesystem>
#include <system_error>

#include "config/install_dir_variables.h"
#include "config/setup_config.h"
#include "config/text_encoding.h"
#include "install/registration/uninstall_entry.h"
#include "payload/mapped_payload.h"
#include "payload/payload.h"
#include "payload/payload_files.h"
#include "payload/temp_folder.h"
#include "util/unicode.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr wchar_t kTitleInvalidSetup[] = L"無効なセットアップ";
constexpr wchar_t kTitleConfigError[] = L"設定エラー";

constexpr wchar_t kPayloadMissing[] =
    L"埋め込みペイロードリソースが見つかりません。\nInstallerBuilder を実行して setup.exe を再生成してください。";
constexpr wchar_t kPayloadExtractFailed[] = L"埋め込みペイロードの展開に失敗しました。";
constexpr wchar_t kLicenseFileNotSet[] = L"setup.ini の [Setup] LicenseFile が未設定です。";
constexpr wchar_t kLicenseTextUnreadable[] =
    L"使用許諾ファイルを読み込めませんでした。LicenseFile を確認してください。";

constexpr wchar_t kSetupIniName[] = L"setup.ini";

bool Fail(RunReporter& reporter, const wchar_t* message, const wchar_t* title) {
    reporter.Notify(NoticeKind::Error, title, message);
    return false;
}

bool PathExists(const std::wstring& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path), error) && !error;
}

// True when the payload entries stored under this name (setup.ini, the licence)
// are as the builder wrote them.
bool StartupEntryIntact(const MappedPayload& payload, const std::wstring& name) {
    return payload.EntriesNamedIntact(WideToUtf8(name));
}

}  // namespace

std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const UniqueLocalMem owner(reinterpret_cast<HLOCAL>(argv));
    if (!argv) return {};
    return std::vector<std::wstring>(argv, argv + count);
}

bool PrepareSetup(InstallPlan& plan, std::wstring& licenseText, RunReporter& reporter) {
    const HMODULE self = ::GetModuleHandleW(nullptr);
    MappedPayload& payload = plan.payload;
    // A damaged payload is answered like a missing one: the file has to be fetched
    // or built again either way.
    if (!ReadPayload(self, payload) || !ReadPayloadDigests(self, payload) ||
        !StartupEntryIntact(payload, kSetupIniName)) {
        return Fail(reporter, kPayloadMissing, kTitleInvalidSetup);
    }
    // Also the answer when the temp folder itself cannot be created. Only what
    // start-up reads goes there; the install writes the product's files straight
    // from the payload.
    plan.tempDir = CreateProcessTempFolder();
    if (plan.tempDir.empty()) return Fail(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    if (!ExtractPayload(plan.tempDir, payload, StartupEntries(payload.entries()))) {
        return Fail(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    }

    const std::filesystem::path tempDir(plan.tempDir);
    LoadSetupConfig(tempDir / kSetupIniName, plan.config);
    // "%ProgramFiles%\Vendor\App" names Program Files where this machine has it.
    plan.installDir = ExpandInstallDirVariables(plan.config.DefaultInstallDir);

    const std::wstring& licenseFile = plan.config.LicenseFile;
    if (licenseFile.empty()) return Fail(reporter, kLicenseFileNotSet, kTitleConfigError);
    if (!StartupEntryIntact(payload, licenseFile)) return Fail(reporter, kPayloadMissing, kTitleInvalidSetup);
    if (!ExtractPayload(plan.tempDir, payload, StartupEntries(payload.entries(), WideToUtf8(licenseFile)))) {
        return Fail(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    }
    // An absolute LicenseFile replaces the temp folder.
    licenseText = LoadTextFile(tempDir / licenseFile);
    if (licenseText.empty()) return Fail(reporter, kLicenseTextUnreadable, kTitleConfigError);
    return true;
}

bool FindExistingInstallation(const std::wstring& appName, const std::wstring& dirArgument, InstalledProduct& product,
                              RunReporter& reporter) {
    // The first key of the product whose folder is still there: a stale key whose
    // folder is gone may stand in front of the live one.
    product = InstalledProduct{};
    for (RegisteredInstallation& found : ListRegisteredInstallations(appName)) {
        if (!found.sameProduct || !PathExists(found.product.installLocation)) continue;
        product = std::move(found.product);
        break;
    }
    if (product.keyName.empty()) return false;
    if (!dirArgument.empty()) {
        reporter.Log(L"[情報] インストール済みの製品が見つかったため、/dir の指定を無視します: " + dirArgument);
    }
    return true;
}

void PlanMaintenance(InstallPlan& plan, const InstalledProduct& product, InstallMode mode) {
    plan.mode = mode;
    plan.installDir = product.installLocation;
    plan.existingProductKey = product.keyName;
}

}  // namespace zel
