#include "ui/wizard_pages.h"

#include "ui/resource_ids.h"

namespace zel {
namespace {

PageLayout ProgressLayout(InstallMode mode) {
    PageLayout layout;
    switch (mode) {
        case InstallMode::Repair:
            layout.title = L"修復中";
            layout.subtitle = L"ファイルを再コピーしています。しばらくお待ちください。";
            break;
        case InstallMode::Update:
            layout.title = L"アップデート中";
            layout.subtitle = L"新しいバージョンのファイルを適用しています。しばらくお待ちください。";
            break;
        case InstallMode::Install:
            layout.title = L"インストール中";
            layout.subtitle = L"ファイルをコピーしています。しばらくお待ちください。";
            break;
    }
    // The run sets the caption itself ("再試行" after a failure).
    layout.nextCaption.reset();
    return layout;
}

PageLayout FinishLayout(InstallMode mode, const std::wstring& appName) {
    PageLayout layout;
    switch (mode) {
        case InstallMode::Repair:
            layout.title = L"修復完了";
            layout.subtitle = appName + L" の修復が完了しました。";
            break;
        case InstallMode::Update:
            layout.title = L"アップデート完了";
            layout.subtitle = appName + L" のアップデートが完了しました。";
            break;
        case InstallMode::Install:
            layout.title = L"完了";
            layout.subtitle = appName + L" のインストールが完了しました。";
            break;
    }
    layout.nextCaption = L"終了";
    layout.nextEnabled = true;
    return layout;
}

}  // namespace

WizardPage NextPage(WizardPage page) {
    switch (page) {
        case Welcome:
            return License;
        case License:
            return Destination;
        default:
            return page;
    }
}

WizardPage PreviousPage(WizardPage page) {
    switch (page) {
        case License:
            return Welcome;
        case Destination:
            return License;
        default:
            return page;
    }
}

PageLayout GetPageLayout(std::int32_t page, InstallMode mode, const std::wstring& appName, bool licenseAccepted) {
    PageLayout layout;
    switch (page) {
        case Welcome:
            layout.title = appName + L" セットアップ";
            layout.subtitle = L"ようこそ。このウィザードは " + appName + L" をインストールします。";
            layout.nextCaption = L"次へ";
            layout.nextEnabled = true;
            break;
        case License:
            layout.title = L"使用許諾契約";
            layout.subtitle = L"以下の使用許諾契約を確認し、同意してください。";
            layout.backEnabled = true;
            layout.nextCaption = L"次へ";
            layout.nextEnabled = licenseAccepted;
            layout.showLicense = true;
            layout.focusId = IDC_LICENSE_ACCEPT;
            break;
        case Destination:
            layout.title = L"インストール先の選択";
            layout.subtitle = L"インストールするフォルダを選択してください。";
            layout.backEnabled = true;
            layout.nextCaption = L"インストール";
            layout.nextEnabled = true;
            layout.showDestination = true;
            layout.focusId = IDC_PATH_EDIT;
            break;
        case Progress:
            layout = ProgressLayout(mode);
            layout.showProgress = true;
            layout.focusId = IDC_LOG;
            break;
        case Finish:
            layout = FinishLayout(mode, appName);
            layout.showProgress = true;
            layout.focusId = IDC_LOG;
            break;
        default:
            return layout;  // every page control hidden, nothing else touched
    }
    layout.known = true;
    return layout;
}

std::wstring MaintenanceMessage(const std::wstring& installedVersion, const std::wstring& setupVersion,
                                const std::wstring& installLocation) {
    std::wstring message = L"この製品は既にインストールされています。";
    if (!installedVersion.empty()) {
        message += L"\r\n\r\n現在のバージョン: " + installedVersion;
        message += L"\r\nセットアップのバージョン: " + setupVersion;
    }
    message += L"\r\n\r\nインストール先:\r\n" + installLocation;
    return message;
}

int MaintenanceDefaultChoice(bool updateAvailable) { return updateAvailable ? IDC_MAINT_UPDATE : IDC_MAINT_REPAIR; }

MaintenanceResult MaintenanceContinueResult(bool updateChecked, bool repairChecked) {
    if (updateChecked) return kMaintenanceUpdate;
    if (repairChecked) return kMaintenanceRepair;
    return kMaintenanceUninstall;
}

}  // namespace zel
