#include "app/startup.h"

#include <shellapi.h>
#include <windows.h>

#include <filesystem>
#include <system_error>

#include "config/setup_config.h"
#include "config/text_encoding.h"
#include "install/registration/uninstall_entry.h"
#include "payload/payload.h"
#include "payload/payload_files.h"
#include "payload/temp_folder.h"
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
bool StartupEntryIntact(const SetupContext& context, const std::wstring& name) {
    const PayloadDigests* digests = context.payloadDigests ? &*context.payloadDigests : nullptr;
    return PayloadEntriesNamedIntact(context.payloadData, context.payloadEntries, digests, WideToUtf8(name));
}

}  // namespace

std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const UniqueLocalMem owner(reinterpret_cast<HLOCAL>(argv));
    if (!argv) return {};
    return std::vector<std::wstring>(argv, argv + count);
}

bool PrepareSetup(SetupContext& context, RunReporter& reporter) {
    const HMODULE self = ::GetModuleHandleW(nullptr);
    // A damaged payload is answered like a missing one: the file has to be fetched
    // or built again either way.
    if (!ReadPayload(self, context.payloadData, context.payloadEntries) ||
        !ReadPayloadDigests(self, context.payloadData, context.payloadEntries, context.payloadDigests) ||
        !StartupEntryIntact(context, kSetupIniName)) {
        return Fail(reporter, kPayloadMissing, kTitleInvalidSetup);
    }
    // Also the answer when the temp folder itself cannot be created. Only what
    // start-up reads goes there; the install writes the product's files straight
    // from the payload.
    context.tempDir = CreateProcessTempFolder();
    if (context.tempDir.empty()) return Fail(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    if (!ExtractPayload(context.tempDir, context.payloadData, StartupEntries(context.payloadEntries))) {
        return Fail(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    }

    const std::filesystem::path tempDir(context.tempDir);
    LoadSetupConfig(tempDir / kSetupIniName, context.config);
    context.installDir = context.config.DefaultInstallDir;

    if (context.config.LicenseFile.empty()) return Fail(reporter, kLicenseFileNotSet, kTitleConfigError);
    if (!StartupEntryIntact(context, context.config.LicenseFile)) {
        return Fail(reporter, kPayloadMissing, kTitleInvalidSetup);
    }
    if (!ExtractPayload(context.tempDir, context.payloadData,
                        StartupEntries(context.payloadEntries, WideToUtf8(context.config.LicenseFile)))) {
        return Fail(reporter, kPayloadExtractFailed, kTitleInvalidSetup);
    }
    // An absolute LicenseFile replaces the temp folder.
    context.licenseText = LoadTextFile(tempDir / context.config.LicenseFile);
    if (context.licenseText.empty()) return Fail(reporter, kLicenseTextUnreadable, kTitleConfigError);
    return true;
}

bool FindExistingInstallation(const std::wstring& appName, InstalledProduct& product) {
    return FindInstalledProduct(appName, product) && PathExists(product.installLocation);
}

}  // namespace zel
