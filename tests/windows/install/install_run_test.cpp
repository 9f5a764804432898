#include "install/install_run.h"

#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "install/files/installed_names.h"
#include "install/system_folder/shared_dll_count.h"
#include "install/system_folder/system_folder.h"
#include "util/known_folder.h"
#include "util/module_path.h"
#include "util/unique_handle.h"
#include "windows/install/install_test_support.h"
#include "windows/recording_reporter.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::LogOf;
using test::ReadFile;
using test::ReadUninstallValue;
using test::UninstallKeysOf;
using test::WriteFile;

bool IsGuidKey(const std::wstring& key) {
    static const std::wregex guid(LR"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
    return std::regex_match(key, guid);
}

constexpr wchar_t kDesktopLine[] = L"デスクトップショートカットを作成しました。";
constexpr wchar_t kStartMenuLine[] = L"スタートメニュー項目を作成しました。";
constexpr wchar_t kInstalledLine[] = L"インストールが正常に完了しました。";
constexpr wchar_t kMirrorSkippedLine[] =
    L"[情報] MstaFolder ミラー: インストール先または %LocalAppData%\\Korvel\\ "
    L"の Korvel_10.ini が無いか、MstaFolder= "
    L"が空のためスキップしました。";

class InstallRunTest : public ::testing::Test {
protected:
    InstallRunTest() : temp_(L"run_temp"), stage_(L"run_stage"), target_(L"run_dest") {
        const std::wstring id = std::to_wstring(::GetCurrentProcessId());
        plan_.selfPath = OwnModulePath();
        // The payload is made from temp_; the run's own temp folder is another one,
        // as in the program, where the product's files never lie in it.
        plan_.tempDir = stage_.path().wstring();
        plan_.installDir = (target_.path() / L"Program Files\\Zel App").wstring();
        SetupConfig& config = plan_.config;
        config.AppName = L"Zel Run Test " + id;
        config.DisplayVersion = L"1.0";
        config.Publisher = L"ZelSetup";
        config.LicenseFile = L"files\\License.txt";
        config.Files = {L"App.exe", L"Doc\\*"};
        config.MainExe = L"App.exe";
        config.ShortcutName = L"Zel Run Test " + id;
        config.StartMenuGroupName = L"Zel Run Test " + id;
        config.StartMenuItems = {{L"Zel App", L"App.exe"}, {L"Manual", L"Doc\\Manual.txt"}};
    }
    ~InstallRunTest() override {
        test::DeleteUninstallKeysOf(plan_.config.AppName);
        std::error_code error;
        fs::remove(fs::path(KnownFolderPath(FOLDERID_Desktop)) / (plan_.config.AppName + L".lnk"), error);
        fs::remove_all(fs::path(KnownFolderPath(FOLDERID_Programs)) / plan_.config.AppName, error);
    }

    fs::path Files() const { return temp_.path() / L"files"; }
    fs::path Installed(const std::wstring& rel) const { return fs::path(plan_.installDir) / rel; }

    // App.exe (1000 bytes), Doc\Manual.txt (25 bytes), License.txt.
    void WritePayload() {
        WriteFile(Files() / L"App.exe", std::string(1000, 'x'));
        WriteFile(Files() / L"Doc\\Manual.txt", std::string(25, 'm'));
        WriteFile(Files() / L"License.txt", "licence");
    }

    // The one Uninstall subkey of this product.
    std::wstring OnlyProductKey() const {
        const std::vector<std::wstring> keys = UninstallKeysOf(plan_.config.AppName);
        EXPECT_EQ(keys.size(), 1u);
        return keys.empty() ? std::wstring() : keys.front();
    }

    // The names in the install folder that start with "Uninstall.exe": the
    // installed copy and any draft of it.
    std::vector<std::wstring> UninstallCopies() const {
        std::vector<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(plan_.installDir)) {
            const std::wstring name = entry.path().filename().wstring();
            if (name.starts_with(L"Uninstall.exe")) names.push_back(name);
        }
        return names;
    }

    // The system's cmd.exe running the command, hidden.
    static void StartCmd(const std::wstring& command, UniqueProcessInformation& process) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"cmd.exe /d /c " + command;
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &startup, process.put());
    }

    // One error message, then the run ends as failed (the wizard offers a retry).
    void ExpectFailedWith(const std::wstring& message) {
        ASSERT_EQ(reporter_.messages.size(), 1u);
        EXPECT_EQ(reporter_.messages[0].kind, NoticeKind::Error);
        EXPECT_EQ(reporter_.messages[0].title, L"エラー");
        EXPECT_EQ(reporter_.messages[0].text, message);
        EXPECT_FALSE(reporter_.messages[0].question);
        EXPECT_TRUE(reporter_.Failed());
    }
    // Runs the install and checks that its result and the reported outcome agree.
    // The payload is what the temp folder holds at that moment, unless the test
    // loaded one of its own.
    bool Run(bool loadPayload = true) {
        if (loadPayload) payload_.Load(temp_.path(), plan_);
        const int before = reporter_.starts;
        const bool installed = RunInstall(plan_, reporter_);
        EXPECT_EQ(reporter_.starts, before + 1);
        EXPECT_EQ(reporter_.Succeeded(), installed);
        return installed;
    }

    ComApartment apartment_;
    test::TestPayload payload_;
    test::RecordingReporter reporter_;
    test::ScratchFolder temp_;
    test::ScratchFolder stage_;
    test::ScratchFolder target_;
    InstallPlan plan_;
};

TEST_F(InstallRunTest, FreshInstallCopiesLinksManifestsAndRegistersUnderANewGuid) {
    WritePayload();
    reporter_.lines = {L"left over from an earlier run"};

    Run();

    EXPECT_TRUE(reporter_.messages.empty());
    EXPECT_TRUE(reporter_.Succeeded());
    EXPECT_EQ(reporter_.LogText(), LogOf({L"コピー: App.exe", L"コピー: Doc\\Manual.txt", kMirrorSkippedLine,
                                          kDesktopLine, kStartMenuLine, kInstalledLine}));
    EXPECT_EQ(ReadFile(Installed(L"Uninstall.exe")), ReadFile(plan_.selfPath));
    EXPECT_EQ(UninstallCopies(), std::vector<std::wstring>{L"Uninstall.exe"});  // no draft beside it
    EXPECT_FALSE(fs::exists(Installed(L"License.txt")));
    EXPECT_EQ(ReadFile(Installed(L"install_manifest.txt")),
              "\xEF\xBB\xBF"
              "App.exe\nDoc\\Manual.txt\ninstall_manifest.txt\nUninstall.exe\n");
    EXPECT_FALSE(fs::exists(Installed(L"system32_regsvr_manifest.txt")));
    EXPECT_FALSE(fs::exists(Installed(L"system32_copy_manifest.txt")));
    EXPECT_TRUE(fs::exists(fs::path(KnownFolderPath(FOLDERID_Desktop)) / (plan_.config.ShortcutName + L".lnk")));
    EXPECT_TRUE(
        fs::exists(fs::path(KnownFolderPath(FOLDERID_Programs)) / plan_.config.StartMenuGroupName / L"Manual.lnk"));

    const std::wstring key = OnlyProductKey();
    EXPECT_TRUE(IsGuidKey(key)) << fs::path(key).string();
    EXPECT_EQ(ReadUninstallValue(key, L"UninstallString").String(),
              L"\"" + Installed(L"Uninstall.exe").wstring() + L"\" /uninstall " + key + L'\0');
    EXPECT_EQ(ReadUninstallValue(key, L"InstallLocation").String(), plan_.installDir + L'\0');
    EXPECT_EQ(ReadUninstallValue(key, L"EstimatedSize").Dword(),
              2u);  // 1025 bytes
}

TEST_F(InstallRunTest, EstimatedSizeCountsOnlyThePayloadRoundedUpToKib) {
    struct Case {
        std::vector<size_t> sizes;
        DWORD expectedKb;
    };
    const Case cases[] = {
        {{0}, 0}, {{1}, 1}, {{1024}, 1}, {{1025}, 2}, {{1000, 24}, 1}, {{1024, 1}, 2}, {{3 * 1024 * 1024}, 3072}};
    plan_.config.Files.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.sizes));
        fs::remove_all(Files());
        fs::remove_all(plan_.installDir);
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            WriteFile(Files() / (L"f" + std::to_wstring(i) + L".bin"), std::string(c.sizes[i], 'a'));
        }
        Run();
        EXPECT_TRUE(reporter_.Succeeded());
        EXPECT_EQ(ReadUninstallValue(OnlyProductKey(), L"EstimatedSize").Dword(), c.expectedKb);
        test::DeleteUninstallKeysOf(plan_.config.AppName);
    }
}

TEST_F(InstallRunTest, RepairAndUpdateReuseTheFoundKeyCutTo39Characters) {
    struct Case {
        bool repair;
        bool update;
        std::wstring existingKey;
        std::wstring expectedKey;  // empty: a new GUID
        const wchar_t* successLine;
    };
    const std::wstring guidKey = L"{01234567-89AB-CDEF-0123-456789ABCDEF}";
    const std::wstring longKey = L"ZelProduct_0123456789012345678901234567890123456789";
    const Case cases[] = {
        {true, false, guidKey, guidKey, L"修復が正常に完了しました。"},
        {false, true, guidKey, guidKey, L"アップデートが正常に完了しました。"},
        {true, true, guidKey, guidKey, L"修復が正常に完了しました。"},
        {false, true, longKey, longKey.substr(0, 39), L"アップデートが正常に完了しました。"},
        {false, true, L"", L"", L"アップデートが正常に完了しました。"},
        {false, false, guidKey, L"", kInstalledLine},
    };
    WritePayload();
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.existingKey).string() + (c.repair ? " repair" : "") + (c.update ? " update" : ""));
        plan_.mode = c.repair ? InstallMode::Repair : c.update ? InstallMode::Update : InstallMode::Install;
        plan_.existingProductKey = c.existingKey;

        Run();

        EXPECT_TRUE(reporter_.Succeeded());
        const std::wstring log = reporter_.LogText();
        EXPECT_TRUE(log.ends_with(std::wstring(c.successLine) + L"\r\n")) << fs::path(log).string();
        const std::wstring key = OnlyProductKey();
        if (c.expectedKey.empty()) {
            EXPECT_TRUE(IsGuidKey(key)) << fs::path(key).string();
            EXPECT_NE(key, guidKey);
        } else {
            EXPECT_EQ(key, c.expectedKey);
            EXPECT_EQ(ReadUninstallValue(key, L"UninstallString").String(),
                      L"\"" + Installed(L"Uninstall.exe").wstring() + L"\" /uninstall " + c.expectedKey + L'\0');
        }
        test::DeleteUninstallKeysOf(plan_.config.AppName);
    }
}

// An Update or a Repair keeps listing what the installation placed before and
// this run no longer installs, so that the uninstall removes it; nothing is
// deleted by the run. A fresh install lists only its own files.
TEST_F(InstallRunTest, UpdateCarriesFilesTheEarlierManifestListedAndTheRunNoLongerInstalls) {
    struct Case {
        InstallMode mode;
        std::string expected;
    };
    const std::string own =
        "\xEF\xBB\xBF"
        "App.exe\nDoc\\Manual.txt\ninstall_manifest.txt\nUninstall.exe\n";
    const Case cases[] = {
        {InstallMode::Update, own + "README.txt\nOld\\Tool.dll\nsystem32_copy_manifest.txt\n"},
        {InstallMode::Repair, own + "README.txt\nOld\\Tool.dll\nsystem32_copy_manifest.txt\n"},
        {InstallMode::Install, own},
    };
    WritePayload();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        WriteFile(Installed(L"README.txt"), "1.0");
        WriteFile(Installed(L"Old\\Tool.dll"), "1.0");
        WriteFile(Installed(L"system32_copy_manifest.txt"), "");
        WriteFile(target_.path() / L"Program Files\\outside.txt", "not ours");
        // Names as the earlier run wrote them, each new name in another case or
        // separator, names that leave the folder, a draft, a file gone since.
        WriteFile(Installed(L"install_manifest.txt"),
                  "\xEF\xBB\xBF"
                  "APP.EXE\nDoc/manual.txt\nREADME.txt\nOld\\Tool.dll\nGone.txt\n..\\outside.txt\nC:\\Windows\\x.dll\n"
                  "C:rel.txt\n\\root.txt\nDoc\\..\\..\\outside.txt\nUninstall.exe.123-0.tmp\ninstall_manifest.txt\n"
                  "UNINSTALL.EXE\nsystem32_copy_manifest.txt\nREADME.txt\n");
        plan_.mode = c.mode;
        plan_.existingProductKey = L"{01234567-89AB-CDEF-0123-456789ABCDEF}";

        Run();

        EXPECT_TRUE(reporter_.Succeeded());
        EXPECT_EQ(ReadFile(Installed(L"install_manifest.txt")), c.expected);
        EXPECT_EQ(ReadFile(Installed(L"README.txt")), "1.0") << "the run deletes nothing";
        test::DeleteUninstallKeysOf(plan_.config.AppName);
        fs::remove(Installed(L"install_manifest.txt"));
    }
}

// A run killed while it copied setup.exe leaves its draft of Uninstall.exe, a
// whole copy of setup.exe; the next run removes it, but not the draft of a
// process that still runs.
TEST_F(InstallRunTest, RerunRemovesDraftsOfEndedProcessesOnly) {
    WritePayload();
    // The handles keep both ids from being given to another process meanwhile.
    UniqueProcessInformation ended;
    UniqueProcessInformation running;
    StartCmd(L"exit 0", ended);
    StartCmd(L"ping 127.0.0.1 -n 60 >nul", running);
    ASSERT_TRUE(ended.process() && running.process());
    ASSERT_EQ(::WaitForSingleObject(ended.process(), 10000), WAIT_OBJECT_0);
    const std::wstring endedId = std::to_wstring(ended.get().dwProcessId);
    const std::wstring runningId = std::to_wstring(running.get().dwProcessId);
    const std::wstring readOnly = L"uninstall.EXE." + endedId + L"-12.TMP";
    WriteFile(Installed(L"Uninstall.exe." + endedId + L"-0.tmp"), "killed run");
    WriteFile(Installed(readOnly), "killed run, copied from a read-only medium");
    ::SetFileAttributesW(Installed(readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFile(Installed(L"Uninstall.exe.x-0.tmp"), "not a draft");
    WriteFile(Installed(L"Uninstall.exe." + runningId + L"-0.tmp"), "a run going on");

    Run();
    ::TerminateProcess(running.process(), 0);

    EXPECT_TRUE(reporter_.Succeeded());
    std::vector<std::wstring> copies = UninstallCopies();
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, (std::vector<std::wstring>{L"Uninstall.exe", L"Uninstall.exe." + runningId + L"-0.tmp",
                                                 L"Uninstall.exe.x-0.tmp"}));
}

TEST_F(InstallRunTest, MissingPayloadFolderFailsWithRetryAndTheRetryStartsAfresh) {
    reporter_.lines = {L"old"};

    Run();

    ExpectFailedWith(L"インストールに失敗しました。詳細はログを確認してください。");
    EXPECT_EQ(reporter_.LogText(), LogOf({L"[エラー] payload の files フォルダが見つかりません: files\\"}));
    EXPECT_TRUE(fs::is_directory(plan_.installDir));
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_FALSE(fs::exists(Installed(L"Uninstall.exe")));
    EXPECT_TRUE(UninstallKeysOf(plan_.config.AppName).empty());

    WritePayload();
    reporter_.messages.clear();
    Run();
    EXPECT_TRUE(reporter_.messages.empty());
    EXPECT_TRUE(reporter_.Succeeded());
    EXPECT_TRUE(reporter_.LogText().starts_with(L"コピー: App.exe\r\n"));
    EXPECT_EQ(UninstallKeysOf(plan_.config.AppName).size(), 1u);
}

// A file that differs from its digest (a damaged setup.exe), stored or
// compressed, fails the run before anything is written: the log names it, the
// install folder is not even made, and the product is not registered.
TEST_F(InstallRunTest, DamagedPayloadFileFailsTheRunBeforeAnythingIsWritten) {
    for (const auto layout : {test::TestPayload::Layout::Version1, test::TestPayload::Layout::Deflate}) {
        SCOPED_TRACE(static_cast<int>(layout));
        reporter_ = {};
        WritePayload();
        payload_.Load(temp_.path(), plan_, true, layout);
        payload_.Damage(plan_, "files/Doc/Manual.txt");

        EXPECT_FALSE(Run(false));

        ExpectFailedWith(L"インストールに失敗しました。詳細はログを確認してください。");
        EXPECT_EQ(reporter_.LogText(),
                  LogOf({L"[エラー] 埋め込みペイロードのファイルが破損しています: Doc\\Manual.txt"}));
        EXPECT_FALSE(fs::exists(plan_.installDir)) << "no file, no copy of setup.exe, not even the folder";
        EXPECT_TRUE(UninstallKeysOf(plan_.config.AppName).empty());
    }
}

TEST_F(InstallRunTest, NothingSelectedFailsTheCopyStep) {
    WritePayload();
    plan_.config.Files = {L"*.dll"};
    Run();
    ExpectFailedWith(L"インストールに失敗しました。詳細はログを確認してください。");
    EXPECT_EQ(reporter_.LogText(), LogOf({L"[エラー] [Files] の指定に一致するファイルがありません。"}));
}

TEST_F(InstallRunTest, FileSystemErrorsEndTheRunAsUnexpected) {
    WritePayload();
    // A file where the install folder's parent should be: the folder cannot be
    // created.
    WriteFile(target_.path() / L"Program Files", "not a folder");
    reporter_.lines = {L"old"};
    Run();
    ExpectFailedWith(L"インストール中に予期しないエラーが発生しました。");
    EXPECT_EQ(reporter_.LogText(), L"");

    // A destination file held open: the copy raises after the files before it
    // were logged.
    fs::remove(target_.path() / L"Program Files");
    WriteFile(Installed(L"Doc\\Manual.txt"), "old");
    UniqueKernelHandle lock(
        ::CreateFileW(Installed(L"Doc\\Manual.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    reporter_.messages.clear();
    Run();
    ExpectFailedWith(L"インストール中に予期しないエラーが発生しました。");
    // The log says which file failed and why, before the box.
    const std::wstring failure =
        L"[エラー] コピーできませんでした: Doc\\Manual.txt (" + Installed(L"Doc\\Manual.txt").wstring();
    EXPECT_NE(reporter_.LogText().find(failure), std::wstring::npos) << reporter_.LogText().size();
    EXPECT_NE(reporter_.LogText().find(L"(Win32=32)\r\n"), std::wstring::npos);
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_TRUE(UninstallKeysOf(plan_.config.AppName).empty());
    EXPECT_TRUE(UninstallCopies().empty());
}

TEST_F(InstallRunTest, LaterStepsOnlyWarnAndTheRunStillSucceeds) {
    WritePayload();
    plan_.config.MainExe.clear();
    // The uninstaller's item first: made although the copy failed, and the
    // items after it are still tried.
    plan_.config.StartMenuItems = {{L"Remove", L"Uninstall.exe"}, {L"Zel App", L"App.exe"}, {L"Gone", L"Missing.exe"}};
    plan_.selfPath = (temp_.path() / L"no_such_setup.exe").wstring();

    Run();

    EXPECT_TRUE(reporter_.messages.empty());
    EXPECT_TRUE(reporter_.Succeeded());
    EXPECT_EQ(reporter_.LogText(), LogOf({L"コピー: App.exe", L"コピー: Doc\\Manual.txt", kMirrorSkippedLine,
                                          L"[警告] Uninstall.exe のコピーに失敗しました。",
                                          L"[警告] デスクトップショートカット作成失敗: setup.ini の [Files] "
                                          L"セクションに exe "
                                          L"の記述が見つからないため、ショートカットを作成できません。",
                                          L"[警告] スタートメニュー項目作成失敗: Gone "
                                          L"(ショートカット対象が見つかりません: " +
                                              Installed(L"Missing.exe").wstring() + L")",
                                          kInstalledLine}));
    const fs::path group = fs::path(KnownFolderPath(FOLDERID_Programs)) / plan_.config.StartMenuGroupName;
    EXPECT_TRUE(fs::exists(group / L"Remove.lnk"));
    EXPECT_TRUE(fs::exists(group / L"Zel App.lnk"));
    // Uninstall.exe is listed and registered although it could not be copied.
    EXPECT_EQ(ReadFile(Installed(L"install_manifest.txt")),
              "\xEF\xBB\xBF"
              "App.exe\nDoc\\Manual.txt\ninstall_manifest.txt\nUninstall.exe\n");
    const std::wstring key = OnlyProductKey();
    EXPECT_EQ(ReadUninstallValue(key, L"UninstallString").String(),
              L"\"" + Installed(L"Uninstall.exe").wstring() + L"\" /uninstall " + key + L'\0');
}

TEST_F(InstallRunTest, MirrorFailureStopsBeforeManifestsAndRegistration) {
    WritePayload();
    // The sibling's settings name a folder below a file, so the mirror cannot
    // create it.
    WriteFile(target_.path() / L"blocker", "file");
    const fs::path msta = target_.path() / L"blocker\\Msta";
    WriteFile(Installed(L"Korvel_10.ini"), "[Paths]\r\nMstaFolder=" + msta.string() + "\r\n");

    Run();

    ASSERT_EQ(reporter_.messages.size(), 1u);
    EXPECT_TRUE(
        reporter_.messages[0].text.starts_with(L"追加のコピー先 (MstaFolder) へファイルを配置できませんでした。\n"))
        << fs::path(reporter_.messages[0].text).string();
    EXPECT_TRUE(reporter_.Failed());
    EXPECT_TRUE(fs::exists(Installed(L"Doc\\Manual.txt")));
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_TRUE(UninstallCopies().empty());
    EXPECT_TRUE(UninstallKeysOf(plan_.config.AppName).empty());
}

TEST_F(InstallRunTest, SystemFolderFailureStopsTheRun) {
    WritePayload();
    plan_.config.System32RegSvr = {L"Missing.dll"};
    Run();
    ExpectFailedWith(
        L"システムフォルダへの配置または regsvr32 登録に失敗しました。\n"
        L"システム登録用ソースが見つかりません: files\\Missing.dll");
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_TRUE(UninstallKeysOf(plan_.config.AppName).empty());
}

TEST_F(InstallRunTest, SystemFilesGoIntoTheirManifestAndAreListed) {
    WritePayload();
    // A 64-bit image without DllRegisterServer: placed in System32, not registered.
    const std::wstring name = L"zel_copy_only_" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
    fs::copy_file(plan_.selfPath, Files() / name);
    plan_.config.System32RegSvr = {name};
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const fs::path placed = fs::path(system) / name;

    Run();

    std::error_code error;
    const bool wasPlaced = fs::remove(placed, error);
    WriteSharedDllCount(placed, false, 0);
    EXPECT_TRUE(reporter_.messages.empty());
    EXPECT_TRUE(reporter_.Succeeded());
    EXPECT_TRUE(wasPlaced);
    EXPECT_EQ(ReadFile(Installed(L"system32_copy_manifest.txt")), "\xEF\xBB\xBF" + placed.string() + "\n");
    EXPECT_FALSE(fs::exists(Installed(L"system32_regsvr_manifest.txt")));
    EXPECT_EQ(ReadFile(Installed(L"install_manifest.txt")),
              "\xEF\xBB\xBF"
              "App.exe\nDoc\\Manual.txt\ninstall_manifest.txt\nUninstall.exe\nsystem32_copy_manifest.txt\n");
}

// A failed fresh install takes back the count it raised and the file it placed;
// the retry counts it once, and a later repair (which finds the count through
// the product's record) does not raise it again. A repair that fails leaves the
// installation's file and count as they were.
TEST_F(InstallRunTest, SystemFileIsCountedOnceAndAFailedRunTakesItsCountBack) {
    WritePayload();
    const std::wstring name = L"zel_counted_" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
    fs::copy_file(plan_.selfPath, Files() / name);
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const fs::path placed = fs::path(system) / name;

    plan_.config.System32RegSvr = {name, L"Missing.dll"};  // placed and counted, then the step fails
    EXPECT_FALSE(Run());
    EXPECT_EQ(ReadSharedDllCount(placed, false), std::nullopt);
    EXPECT_FALSE(fs::exists(placed));
    EXPECT_TRUE(plan_.countedSystemFiles.empty());

    plan_.config.System32RegSvr = {name};
    EXPECT_TRUE(Run());  // the retry
    EXPECT_EQ(ReadSharedDllCount(placed, false), std::optional<DWORD>(1));

    InstallPlan repair = plan_;  // a later start: nothing remembered but what is on record
    repair.countedSystemFiles.clear();
    repair.mode = InstallMode::Repair;
    repair.existingProductKey = OnlyProductKey();
    EXPECT_TRUE(RunInstall(repair, reporter_));
    EXPECT_EQ(ReadSharedDllCount(placed, false), std::optional<DWORD>(1));

    repair.countedSystemFiles.clear();
    repair.config.System32RegSvr = {name, L"Missing.dll"};
    EXPECT_FALSE(RunInstall(repair, reporter_));
    EXPECT_EQ(ReadSharedDllCount(placed, false), std::optional<DWORD>(1));
    EXPECT_TRUE(fs::exists(placed));

    std::error_code error;
    fs::remove(placed, error);
    WriteSharedDllCount(placed, false, 0);
}

// An update that no longer ships a system file leaves it counted, as the
// earlier version counted it; it stays on record, so the uninstall releases it.
TEST_F(InstallRunTest, UpdateKeepsTheSystemFilesItNoLongerShipsOnRecord) {
    WritePayload();
    const std::wstring stem = L"zel_carried_" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring kept = stem + L"_kept.dll";
    const std::wstring dropped = stem + L"_dropped.dll";
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    for (const std::wstring& name : {kept, dropped}) fs::copy_file(plan_.selfPath, Files() / name);

    plan_.config.System32RegSvr = {kept, dropped};
    ASSERT_TRUE(Run());
    InstallPlan update = plan_;  // a later start: nothing remembered but what is on record
    update.countedSystemFiles.clear();
    update.mode = InstallMode::Update;
    update.existingProductKey = OnlyProductKey();
    update.config.System32RegSvr = {kept};
    ASSERT_TRUE(RunInstall(update, reporter_));

    const fs::path copyManifest = Installed(kCopyManifestName);
    std::vector<std::wstring> recorded = RecordedManifestLines(copyManifest);
    std::sort(recorded.begin(), recorded.end());
    std::vector<std::wstring> expected = {(fs::path(system) / dropped).wstring(), (fs::path(system) / kept).wstring()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(recorded, expected);
    for (const std::wstring& name : {kept, dropped}) {
        EXPECT_EQ(ReadSharedDllCount(fs::path(system) / name, false), std::optional<DWORD>(1)) << name;
    }

    RemoveSystemFileCopies(fs::path(plan_.installDir));  // as the uninstall does
    for (const std::wstring& name : {kept, dropped}) {
        EXPECT_FALSE(fs::exists(fs::path(system) / name)) << name;
        EXPECT_EQ(ReadSharedDllCount(fs::path(system) / name, false), std::nullopt) << name;
        std::error_code error;
        fs::remove(fs::path(system) / name, error);
        WriteSharedDllCount(fs::path(system) / name, false, 0);
    }
}

}  // namespace
}  // namespace zel
