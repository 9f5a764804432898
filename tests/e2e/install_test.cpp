// Installs of the sample product through the wizard, checked artefact by
// artefact; a copy failure with its retry; Repair and Update through the
// maintenance dialog.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "automation/payload_tools.h"
#include "automation/registry.h"
#include "automation/shell.h"
#include "automation/unix_links.h"
#include "e2e_fixture.h"
#include "sample_install.h"
#include "util/unique_handle.h"
#include "wizard_steps.h"

namespace zel::e2e {
namespace {

namespace fs = std::filesystem;

const std::wstring kMirrorSkipped =
    L"[情報] MstaFolder ミラー: インストール先または %LocalAppData%\\Korvel\\ の Korvel_10.ini が無いか、MstaFolder= "
    L"が空のためスキップしました。";

std::wstring SuccessLine(Mode mode) {
    return mode == Mode::Repair   ? L"修復が正常に完了しました。"
           : mode == Mode::Update ? L"アップデートが正常に完了しました。"
                                  : L"インストールが正常に完了しました。";
}

std::wstring FinishSubtitle(Mode mode) {
    return Sample().appName + (mode == Mode::Repair   ? L" の修復が完了しました。"
                               : mode == Mode::Update ? L" のアップデートが完了しました。"
                                                      : L" のインストールが完了しました。");
}

// The log of a successful run of the sample: one copy line per file in copy
// order, the skipped mirror, the library placed and registered in the system
// folder, the shortcuts, the success line.
std::wstring ExpectedLog(const std::vector<std::wstring>& copied, Mode mode) {
    const std::wstring systemDll = (SystemFolder() / kComDllName).wstring();
    std::wstring log;
    for (const std::wstring& file : copied) log += L"コピー: " + file + L"\r\n";
    log += kMirrorSkipped + L"\r\n";
    log += L"システムフォルダへコピー: " + systemDll + L"\r\n";
    log += L"登録: " + systemDll + L"\r\n";
    log += L"デスクトップショートカットを作成しました。\r\n";
    log += L"スタートメニュー項目を作成しました。\r\n";
    log += SuccessLine(mode) + L"\r\n";
    return log;
}

class InstallTest : public SampleInstallTest {
protected:
    // Sample payload files relative to files\ that the sample's [Files] selects:
    // all but the system-folder library under com\.
    std::vector<std::wstring> PayloadFiles() const {
        std::vector<std::wstring> names;
        for (const auto& [name, path] : ListFiles(GetInputs().sampleDir / L"files")) {
            if (_wcsnicmp(name.c_str(), L"com\\", 4) != 0) names.push_back(name);
        }
        return names;
    }

    void ExpectFinishPage(HWND wizard, Mode mode) {
        ExpectPage(wizard, WizardPage::Finish, mode);
        EXPECT_EQ(U8(ControlText(wizard, kSubtitle)), U8(FinishSubtitle(mode)));
        EXPECT_EQ(U8(ControlText(wizard, kNext)), U8(L"終了"));
        EXPECT_TRUE(IsControlEnabled(wizard, kNext));
        EXPECT_FALSE(IsControlEnabled(wizard, kBack));
    }

    // Runs the sample setup.exe against the registered installation, picks the
    // maintenance choice and waits for its Finish page.
    void MaintainThroughDialog(Mode mode, const std::wstring& step) {
        Process setup = StartProcess(GetInputs().setupExe, {});
        HWND dialog = Expect(setup, WindowKind::Maintenance, step + L"_maintenance");
        ASSERT_NE(dialog, nullptr);
        const int choice = mode == Mode::Update ? kUpdate : kRepair;
        EXPECT_TRUE(IsControlChecked(dialog, choice)) << "the choice is preselected";
        Click(dialog, choice);
        Click(dialog, kContinue);
        HWND wizard = Expect(setup, WindowKind::Wizard, step + L"_wizard");
        ASSERT_NE(wizard, nullptr);
        ASSERT_TRUE(WaitForFinish(setup, wizard, mode));
        Snap(wizard, step + L"_finish");
        ExpectFinishPage(wizard, mode);
        const std::wstring log = ControlText(wizard, kLog);
        EXPECT_EQ(U8(log), U8(ExpectedLog(ManifestFiles(), mode)));
        Click(wizard, kNext);
        EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    }

    // Walks the wizard of a started setup.exe to Install and answers the error box
    // the run ends with; its content, or nothing when no box came.
    std::optional<MessageBoxContent> InstallUntilErrorBox(const Process& setup, HWND& wizard) {
        wizard = Expect(setup, WindowKind::Wizard, L"welcome");
        if (!wizard || !StartInstall(wizard, installDir_.wstring())) return std::nullopt;
        HWND box = Expect(setup, WindowKind::MessageBox, L"error");
        if (!box) return std::nullopt;
        return AnswerBox(box, IDOK, L"error");
    }

    // The payload entries of install_manifest.txt, in copy order.
    std::vector<std::wstring> ManifestFiles() const {
        std::vector<std::wstring> lines =
            ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}));
        // install_manifest.txt, Uninstall.exe, system32_regsvr_manifest.txt
        if (lines.size() >= 3) lines.resize(lines.size() - 3);
        return lines;
    }
};

TEST_F(InstallTest, FreshInstallLeavesEveryArtefact) {
    ComApartment com;
    const SampleSettings& s = Sample();
    Process setup = StartProcess(GetInputs().setupExe, {});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(StartInstall(wizard, installDir_.wstring()));
    ASSERT_TRUE(WaitForFinish(setup, wizard, Mode::Install));
    Snap(wizard, L"finish");
    ExpectFinishPage(wizard, Mode::Install);
    ExpectStaysOpen(setup, wizard, WizardPage::Finish);

    // Files: every payload file byte for byte, the licence not.
    const std::vector<std::wstring> payload = PayloadFiles();
    for (const std::wstring& name : payload) {
        EXPECT_EQ(ReadFileBytes(installDir_ / name), ReadFileBytes(GetInputs().sampleDir / L"files" / name))
            << U8(name);
    }
    EXPECT_FALSE(fs::exists(installDir_ / L"License.txt"));
    EXPECT_EQ(ReadFileBytes(installDir_ / L"Uninstall.exe"), ReadFileBytes(GetInputs().setupExe))
        << "Uninstall.exe is setup.exe byte for byte";

    // Manifest: the copied files in copy order, then the two own names; the log
    // lists the same files in the same order.
    const Bytes manifest = ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{});
    ASSERT_GE(manifest.size(), 3u);
    EXPECT_TRUE(manifest[0] == 0xEF && manifest[1] == 0xBB && manifest[2] == 0xBF);
    EXPECT_EQ(std::count(manifest.begin(), manifest.end(), '\r'), 0);
    EXPECT_EQ(manifest.back(), '\n');
    const std::vector<std::wstring> lines = ManifestLines(manifest);
    ASSERT_EQ(lines.size(), payload.size() + 3);
    EXPECT_EQ(U8(lines[payload.size()]), "install_manifest.txt");
    EXPECT_EQ(U8(lines[payload.size() + 1]), "Uninstall.exe");
    EXPECT_EQ(U8(lines[payload.size() + 2]), "system32_regsvr_manifest.txt");
    std::vector<std::wstring> copied(lines.begin(), lines.begin() + payload.size());
    std::vector<std::wstring> sortedCopied = copied;
    std::sort(sortedCopied.begin(), sortedCopied.end());
    EXPECT_EQ(sortedCopied, payload);
    EXPECT_EQ(U8(ControlText(wizard, kLog)), U8(ExpectedLog(copied, Mode::Install)));

    // System folder: the library placed as the bare file name, registered, and
    // recorded by its full path; nothing was only copied.
    EXPECT_EQ(ReadFileBytes(systemDll_), ReadFileBytes(GetInputs().sampleDir / L"files" / L"com" / kComDllName));
    EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::optional<std::wstring>(L"registered"));
    Bytes regsvrManifest = {0xEF, 0xBB, 0xBF};
    const Bytes dllLine = Utf8Bytes(systemDll_.wstring() + L"\n");
    regsvrManifest.insert(regsvrManifest.end(), dllLine.begin(), dllLine.end());
    EXPECT_EQ(ReadFileBytes(installDir_ / L"system32_regsvr_manifest.txt"), std::optional<Bytes>(regsvrManifest));
    EXPECT_FALSE(fs::exists(installDir_ / L"system32_copy_manifest.txt"));

    // Registry: one new GUID key with the fourteen values (no update URL in the
    // sample) and the quiet uninstall command.
    const std::vector<std::wstring> keys = KeysOfProduct(s.appName);
    ASSERT_EQ(keys.size(), 1u);
    const std::wstring& key = keys[0];
    EXPECT_EQ(key.size(), 38u);
    EXPECT_TRUE(key.front() == L'{' && key.back() == L'}') << U8(key);
    EXPECT_EQ(std::count_if(key.begin(), key.end(), [](wchar_t c) { return c >= L'a' && c <= L'f'; }), 0)
        << "upper-case digits";
    const std::wstring dir = installDir_.wstring();
    const std::vector<std::pair<std::wstring, std::wstring>> strings = {
        {L"DisplayName", s.programsDisplayName},
        {L"DisplayVersion", s.displayVersion},
        {L"Version", s.displayVersion},
        {L"Publisher", s.publisher},
        {L"InstallLocation", dir},
        {L"UninstallString", L"\"" + dir + L"\\Uninstall.exe\" /uninstall " + key},
        {L"DisplayIcon", dir + L"\\App.exe"},
        {L"URLInfoAbout", s.supportUrl},
        {L"HelpLink", s.helpUrl},
        {L"ZelShortcutName", s.shortcutName},
        {L"ZelStartMenuGroupName", s.startMenuGroupName},
        {L"ZelSetupAppName", s.appName},
        {L"QuietUninstallString", L"\"" + dir + L"\\Uninstall.exe\" /uninstall " + key + L" /quiet"}};
    for (const auto& [name, value] : strings) {
        EXPECT_EQ(ReadUninstallString(key, name).value_or(L"(missing)"), value) << U8(name);
    }
    EXPECT_FALSE(ReadUninstallString(key, L"URLUpdateInfo").has_value());
    std::uint64_t totalBytes = 0;
    for (const std::wstring& name : payload) totalBytes += fs::file_size(GetInputs().sampleDir / L"files" / name);
    std::vector<std::wstring> valueNames;
    for (const RegistryValue& value : ReadUninstallValues(key)) {
        valueNames.push_back(value.name);
        if (value.name == L"EstimatedSize") {
            ASSERT_EQ(value.type, static_cast<DWORD>(REG_DWORD));
            ASSERT_EQ(value.data.size(), 4u);
            DWORD size = 0;
            std::memcpy(&size, value.data.data(), 4);
            EXPECT_EQ(size, (totalBytes + 1023) / 1024);
        } else {
            EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << U8(value.name);
            EXPECT_EQ(value.data.size() % 2, 0u);
            EXPECT_TRUE(value.data.size() >= 2 && value.data[value.data.size() - 1] == 0 &&
                        value.data[value.data.size() - 2] == 0)
                << U8(value.name) << " is stored with its terminating NUL";
        }
    }
    // The registry's enumeration order is its own (Wine sorts by name), so only
    // the set of names is compared.
    std::sort(valueNames.begin(), valueNames.end());
    std::vector<std::wstring> expectedNames = {
        L"DisplayName",     L"DisplayVersion",        L"Version",         L"Publisher",           L"InstallLocation",
        L"UninstallString", L"DisplayIcon",           L"EstimatedSize",   L"URLInfoAbout",        L"HelpLink",
        L"ZelShortcutName", L"ZelStartMenuGroupName", L"ZelSetupAppName", L"QuietUninstallString"};
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(valueNames, expectedNames);

    // Shortcuts: desktop to App.exe, Start menu items as [StartMenuItems] lists them.
    struct Link {
        fs::path path;
        std::wstring target;
    };
    for (const Link& link :
         {Link{desktopLink_, dir + L"\\App.exe"}, Link{startMenuGroup_ / L"ゼルビューア.lnk", dir + L"\\App.exe"},
          Link{startMenuGroup_ / L"ユーザーズマニュアル.lnk", dir + L"\\Doc\\Manual.txt"}}) {
        const std::optional<ShortcutContent> content = ReadShortcut(link.path);
        ASSERT_TRUE(content.has_value()) << U8(link.path.wstring()) << " is missing or unreadable";
        EXPECT_EQ(U8(content->target), U8(link.target));
        EXPECT_EQ(U8(content->workingDirectory), U8(dir));
        EXPECT_EQ(U8(content->iconPath), U8(link.target));
        EXPECT_EQ(content->iconIndex, 0);
        EXPECT_EQ(content->arguments, L"");
    }

    Click(wizard, kNext);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
}

TEST_F(InstallTest, CopyFailureOffersRetryWhichStartsAfresh) {
    // A destination file that cannot be overwritten. Read-only stops the copy on
    // Windows; Wine running as root overwrites read-only files, so the file is
    // also held open without sharing, which stops the copy on both.
    const fs::path blocked = installDir_ / L"Doc" / L"Manual.txt";
    ASSERT_TRUE(WriteFileBytes(blocked, {'o', 'l', 'd'}));
    ASSERT_TRUE(::SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_READONLY));
    UniqueKernelHandle lock(
        ::CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);

    Process setup = StartProcess(GetInputs().setupExe, {});
    HWND wizard = nullptr;
    const std::optional<MessageBoxContent> box = InstallUntilErrorBox(setup, wizard);
    ASSERT_TRUE(box.has_value());
    const MessageBoxContent& error = *box;
    EXPECT_EQ(U8(error.text), U8(L"インストール中に予期しないエラーが発生しました。"));
    EXPECT_EQ(U8(error.title), U8(L"エラー"));
    EXPECT_EQ(error.icon, BoxIcon::Error) << BoxIconName(error.icon);
    EXPECT_EQ(error.buttons, std::vector<int>{IDOK});

    ASSERT_TRUE(WaitFor([&] { return ControlText(wizard, kNext) == L"再試行" && IsControlEnabled(wizard, kNext); }))
        << "Next reads " << U8(ControlText(wizard, kNext));
    Snap(wizard, L"retry_offered");
    ExpectPage(wizard, WizardPage::Progress);
    EXPECT_FALSE(IsControlEnabled(wizard, kBack));
    EXPECT_FALSE(fs::exists(installDir_ / L"install_manifest.txt")) << "a failed run writes no manifest";
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty()) << "a failed run registers nothing";
    // The log names the file that could not be copied and why.
    EXPECT_NE(ControlText(wizard, kLog)
                  .find(L"[エラー] コピーできませんでした: Doc\\Manual.txt (" + blocked.wstring() + L"): "),
              std::wstring::npos)
        << U8(ControlText(wizard, kLog));

    lock.reset();
    ASSERT_TRUE(::SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_NORMAL));
    Click(wizard, kNext);
    ASSERT_TRUE(WaitForFinish(setup, wizard, Mode::Install));
    Snap(wizard, L"finish_after_retry");
    // The log starts afresh: exactly the lines of one successful run.
    EXPECT_EQ(U8(ControlText(wizard, kLog)), U8(ExpectedLog(ManifestFiles(), Mode::Install)));
    EXPECT_EQ(ReadFileBytes(blocked), ReadFileBytes(GetInputs().sampleDir / L"files" / L"Doc" / L"Manual.txt"));
    EXPECT_EQ(KeysOfProduct(Sample().appName).size(), 1u);
    Click(wizard, kNext);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
}

// A damaged download: one bit of a product file differs from what the builder
// wrote. Start-up does not read that file; the install stops at it with a log
// line naming it, the file is not written and nothing is registered.
TEST_F(InstallTest, DamagedProductFileFailsTheInstallAndRegistersNothing) {
    const fs::path exe = scratch_ / L"setup_damaged.exe";
    std::wstring problem;
    ASSERT_TRUE(WriteWithFlippedByte(GetInputs().setupExe, exe, "files/Doc/Manual.txt", problem)) << U8(problem);

    Process setup = StartProcess(exe, {});
    HWND wizard = nullptr;
    const std::optional<MessageBoxContent> box = InstallUntilErrorBox(setup, wizard);
    ASSERT_TRUE(box.has_value());
    const MessageBoxContent& error = *box;
    EXPECT_EQ(U8(error.text), U8(L"インストールに失敗しました。詳細はログを確認してください。"));
    EXPECT_EQ(error.icon, BoxIcon::Error) << BoxIconName(error.icon);

    ASSERT_TRUE(WaitFor([&] { return ControlText(wizard, kNext) == L"再試行"; }));
    const std::wstring log = ControlText(wizard, kLog);
    const std::wstring damagedLine = L"[エラー] 埋め込みペイロードのファイルが破損しています: Doc\\Manual.txt\r\n";
    ASSERT_GE(log.size(), damagedLine.size());
    EXPECT_EQ(U8(log.substr(log.size() - damagedLine.size())), U8(damagedLine)) << U8(log);
    EXPECT_FALSE(fs::exists(installDir_ / L"Doc" / L"Manual.txt")) << "a damaged file is never written";
    EXPECT_FALSE(fs::exists(installDir_ / L"install_manifest.txt"));
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty()) << "a failed run registers nothing";
    setup.Terminate();
}

// The common "File1=*.*" selects every file, those without a dot in their name
// too (README, Doc\CHANGES), as Windows' own wildcard match does.
TEST_F(InstallTest, StarDotStarInstallsFilesWithoutADot) {
    std::vector<ArchiveFile> files = ReadProductFolder(GetInputs().sampleDir);
    for (ArchiveFile& file : files) {
        if (file.name == "setup.ini") {
            file.data = Utf16LeWithBom(L"[Setup]\r\nAppName=" + Sample().appName +
                                       L"\r\nLicenseFile=License.txt\r\n[Files]\r\nFile1=*.*\r\n");
        }
    }
    files.push_back({"files/README", {'r'}});
    files.push_back({"files/Doc/CHANGES", {'c'}});
    const fs::path exe = scratch_ / L"setup_stardotstar.exe";
    std::wstring error;
    ASSERT_TRUE(EmbedPayload(GetInputs().stubExe, exe, BuildArchive(files), error)) << U8(error);

    Process setup = StartProcess(exe, {});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(StartInstall(wizard, installDir_.wstring()));
    ASSERT_TRUE(WaitForFinish(setup, wizard, Mode::Install));
    const std::wstring log = ControlText(wizard, kLog);
    Click(wizard, kNext);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    RemoveSampleRegistrations();

    EXPECT_EQ(ReadFileBytes(installDir_ / L"README"), std::optional<Bytes>(Bytes{'r'}));
    EXPECT_EQ(ReadFileBytes(installDir_ / L"Doc" / L"CHANGES"), std::optional<Bytes>(Bytes{'c'}));
    EXPECT_TRUE(fs::exists(installDir_ / L"App.exe"));
    EXPECT_TRUE(fs::exists(installDir_ / L"Doc" / L"Manual.txt"));
    EXPECT_FALSE(fs::exists(installDir_ / L"License.txt"));
    EXPECT_NE(log.find(L"コピー: README\r\n"), std::wstring::npos) << U8(log);
    const std::vector<std::wstring> manifest =
        ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}));
    EXPECT_NE(std::find(manifest.begin(), manifest.end(), L"Doc\\CHANGES"), manifest.end());
}

TEST_F(InstallTest, RepairAndUpdateReuseTheRegisteredKey) {
    ASSERT_TRUE(InstallThroughWizard());
    const std::vector<std::wstring> keys = KeysOfProduct(Sample().appName);
    ASSERT_EQ(keys.size(), 1u);
    const std::wstring key = keys[0];

    // Repair: same version installed, Repair is preselected.
    // Once seen under Wine: the write failed right after the wizard's exit, so it
    // is retried briefly and its error shown when it keeps failing.
    const fs::path manual = installDir_ / L"Doc" / L"Manual.txt";
    ASSERT_TRUE(WaitFor(
        [&] {
            return WriteFileBytes(manual, {'b', 'r', 'o', 'k', 'e', 'n'});
        },
        5s))
        << "cannot write " << U8(manual.wstring()) << ": error " << ::GetLastError() << ", attributes "
        << ::GetFileAttributesW(manual.c_str());
    MaintainThroughDialog(Mode::Repair, L"repair");
    if (HasFatalFailure()) return;
    EXPECT_EQ(ReadFileBytes(installDir_ / L"Doc" / L"Manual.txt"),
              ReadFileBytes(GetInputs().sampleDir / L"files" / L"Doc" / L"Manual.txt"));
    EXPECT_EQ(KeysOfProduct(Sample().appName), std::vector<std::wstring>{key});

    // Update: an older version registered, Update is offered and preselected.
    ASSERT_TRUE(WriteUninstallKey(key, {{L"DisplayVersion", L"1.0.0"}}));
    MaintainThroughDialog(Mode::Update, L"update");
    if (HasFatalFailure()) return;
    EXPECT_EQ(KeysOfProduct(Sample().appName), std::vector<std::wstring>{key});
    EXPECT_EQ(ReadUninstallString(key, L"DisplayVersion"), std::optional<std::wstring>(Sample().displayVersion));
    EXPECT_EQ(ReadUninstallString(key, L"UninstallString"),
              std::optional<std::wstring>(L"\"" + installDir_.wstring() + L"\\Uninstall.exe\" /uninstall " + key));
}

// An administrator installing into a folder a standard user made (simulated by
// its mode, 0777) with a link to the system folder inside is told so in a box
// before anything is written, and may retry elsewhere.
TEST_F(InstallTest, FolderStandardUsersControlIsRefusedInABoxBeforeAnyWrite) {
    const fs::path system = scratch_ / L"System32";
    ASSERT_TRUE(WriteFileBytes(system / L"notepad.exe", Utf8Bytes(L"system's")));
    const fs::path data = installDir_ / L"Data";
    ASSERT_TRUE(fs::create_directories(installDir_));
    struct LinkGoesFirst {  // the scratch folder's clean-up cannot take it
        ~LinkGoesFirst() { test::RemoveUnixLink(link); }
        fs::path link;
    } link{data};
    if (!test::MakeUnixLink(data, system) || !test::SetUnixMode(installDir_, 0777)) {
        GTEST_SKIP() << "links and modes are made with Wine's help only";
    }

    Process setup = StartProcess(GetInputs().setupExe, {});
    HWND wizard = nullptr;
    const std::optional<MessageBoxContent> box = InstallUntilErrorBox(setup, wizard);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(U8(box->text), U8(L"インストール先フォルダを使用できません。\n"
                                L"標準ユーザーが書き込めるフォルダにはインストールできません: " +
                                installDir_.wstring()));
    EXPECT_EQ(box->icon, BoxIcon::Error) << BoxIconName(box->icon);
    std::vector<fs::path> inFolder;
    for (const auto& entry : fs::directory_iterator(installDir_)) inFolder.push_back(entry.path().filename());
    EXPECT_EQ(inFolder, std::vector<fs::path>{L"Data"}) << "nothing written";
    std::vector<fs::path> inSystem;
    for (const auto& entry : fs::directory_iterator(system)) inSystem.push_back(entry.path().filename());
    EXPECT_EQ(inSystem, std::vector<fs::path>{L"notepad.exe"});
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
    ASSERT_TRUE(WaitFor([&] { return ControlText(wizard, kNext) == L"再試行" && IsControlEnabled(wizard, kNext); }));
    setup.Terminate();
}

}  // namespace
}  // namespace zel::e2e
