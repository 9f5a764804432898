#include "install/install_run.h"

#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "install_test_support.h"
#include "ui/resource_ids.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::LogOf;
using test::ReadFile;
using test::ReadUninstallValue;
using test::UninstallKeysOf;
using test::WriteFile;

struct Box {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};
std::vector<Box> boxes;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    boxes.push_back({owner, text, caption, type});
    return IDOK;
}

fs::path KnownFolder(REFKNOWNFOLDERID id) {
    UniqueCoTaskString path;
    if (FAILED(::SHGetKnownFolderPath(id, 0, nullptr, path.put()))) return {};
    return path.get();
}

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
    InstallRunTest() : temp_(L"run_temp"), target_(L"run_dest") {
        const std::wstring id = std::to_wstring(::GetCurrentProcessId());
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        context_.hwnd = window_.hwnd();
        context_.selfPath = self;
        context_.tempDir = temp_.path().wstring();
        context_.installDir = (target_.path() / L"Program Files\\Zel App").wstring();
        SetupConfig& config = context_.config;
        config.AppName = L"Zel Run Test " + id;
        config.DisplayVersion = L"1.0";
        config.Publisher = L"ZelSetup";
        config.LicenseFile = L"files\\License.txt";
        config.Files = {L"App.exe", L"Doc\\*"};
        config.MainExe = L"App.exe";
        config.ShortcutName = L"Zel Run Test " + id;
        config.StartMenuGroupName = L"Zel Run Test " + id;
        config.StartMenuItems = {{L"Zel App", L"App.exe"}, {L"Manual", L"Doc\\Manual.txt"}};
        boxes.clear();
        previousBox_ = SetInstallMessageBoxFunction(&RecordBox);
    }
    ~InstallRunTest() override {
        SetInstallMessageBoxFunction(previousBox_);
        test::DeleteUninstallKeysOf(context_.config.AppName);
        std::error_code error;
        fs::remove(KnownFolder(FOLDERID_Desktop) / (context_.config.AppName + L".lnk"), error);
        fs::remove_all(KnownFolder(FOLDERID_Programs) / context_.config.AppName, error);
    }

    fs::path Files() const { return temp_.path() / L"files"; }
    fs::path Installed(const std::wstring& rel) const { return fs::path(context_.installDir) / rel; }

    // App.exe (1000 bytes), Doc\Manual.txt (25 bytes), License.txt.
    void WritePayload() {
        WriteFile(Files() / L"App.exe", std::string(1000, 'x'));
        WriteFile(Files() / L"Doc\\Manual.txt", std::string(25, 'm'));
        WriteFile(Files() / L"License.txt", "licence");
    }

    // The one Uninstall subkey of this product.
    std::wstring OnlyProductKey() const {
        const std::vector<std::wstring> keys = UninstallKeysOf(context_.config.AppName);
        EXPECT_EQ(keys.size(), 1u);
        return keys.empty() ? std::wstring() : keys.front();
    }

    void ExpectRetryOffered(const std::wstring& message) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, window_.hwnd());
        EXPECT_EQ(boxes[0].text, message);
        EXPECT_EQ(boxes[0].caption, L"エラー");
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
        EXPECT_EQ(context_.page, Progress);
        EXPECT_TRUE(window_.NextEnabled());
        EXPECT_EQ(window_.Text(IDC_NEXT), L"再試行");
    }

    ComApartment apartment_;
    test::TestWizardWindow window_;
    test::ScratchFolder temp_;
    test::ScratchFolder target_;
    SetupContext context_;
    InstallMessageBoxFunction previousBox_ = nullptr;
};

TEST_F(InstallRunTest, FreshInstallCopiesLinksManifestsAndRegistersUnderANewGuid) {
    WritePayload();
    window_.SetLog(L"left over from an earlier run\r\n");

    RunInstall(context_);

    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(context_.page, Finish);
    EXPECT_EQ(window_.Log(), LogOf({L"コピー: App.exe", L"コピー: Doc\\Manual.txt", kMirrorSkippedLine, kDesktopLine,
                                    kStartMenuLine, kInstalledLine}));
    EXPECT_EQ(fs::file_size(Installed(L"Uninstall.exe")), fs::file_size(context_.selfPath));
    EXPECT_FALSE(fs::exists(Installed(L"License.txt")));
    EXPECT_EQ(ReadFile(Installed(L"install_manifest.txt")),
              "\xEF\xBB\xBF"
              "App.exe\nDoc\\Manual.txt\ninstall_manifest.txt\nUninstall.exe\n");
    EXPECT_FALSE(fs::exists(Installed(L"system32_regsvr_manifest.txt")));
    EXPECT_FALSE(fs::exists(Installed(L"system32_copy_manifest.txt")));
    EXPECT_TRUE(fs::exists(KnownFolder(FOLDERID_Desktop) / (context_.config.ShortcutName + L".lnk")));
    EXPECT_TRUE(fs::exists(KnownFolder(FOLDERID_Programs) / context_.config.StartMenuGroupName / L"Manual.lnk"));

    const std::wstring key = OnlyProductKey();
    EXPECT_TRUE(IsGuidKey(key)) << fs::path(key).string();
    EXPECT_EQ(ReadUninstallValue(key, L"UninstallString").String(),
              L"\"" + Installed(L"Uninstall.exe").wstring() + L"\" /uninstall " + key + L'\0');
    EXPECT_EQ(ReadUninstallValue(key, L"InstallLocation").String(), context_.installDir + L'\0');
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
    context_.config.Files.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.sizes));
        fs::remove_all(Files());
        fs::remove_all(context_.installDir);
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            WriteFile(Files() / (L"f" + std::to_wstring(i) + L".bin"), std::string(c.sizes[i], 'a'));
        }
        RunInstall(context_);
        EXPECT_EQ(context_.page, Finish);
        EXPECT_EQ(ReadUninstallValue(OnlyProductKey(), L"EstimatedSize").Dword(), c.expectedKb);
        test::DeleteUninstallKeysOf(context_.config.AppName);
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
        context_.repairMode = c.repair;
        context_.updateMode = c.update;
        context_.existingProductKey = c.existingKey;

        RunInstall(context_);

        EXPECT_EQ(context_.page, Finish);
        const std::wstring log = window_.Log();
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
        test::DeleteUninstallKeysOf(context_.config.AppName);
    }
}

TEST_F(InstallRunTest, MissingPayloadFolderFailsWithRetryAndTheRetryStartsAfresh) {
    window_.SetLog(L"old\r\n");

    RunInstall(context_);

    ExpectRetryOffered(L"インストールに失敗しました。詳細はログを確認してください。");
    EXPECT_EQ(window_.Log(), LogOf({L"[エラー] payload の files フォルダが見つかりません: files\\"}));
    EXPECT_TRUE(fs::is_directory(context_.installDir));
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_FALSE(fs::exists(Installed(L"Uninstall.exe")));
    EXPECT_TRUE(UninstallKeysOf(context_.config.AppName).empty());

    WritePayload();
    boxes.clear();
    RunInstall(context_);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(context_.page, Finish);
    EXPECT_TRUE(window_.Log().starts_with(L"コピー: App.exe\r\n"));
    EXPECT_EQ(UninstallKeysOf(context_.config.AppName).size(), 1u);
}

TEST_F(InstallRunTest, NothingSelectedFailsTheCopyStep) {
    WritePayload();
    context_.config.Files = {L"*.dll"};
    RunInstall(context_);
    ExpectRetryOffered(L"インストールに失敗しました。詳細はログを確認してください。");
    EXPECT_EQ(window_.Log(), LogOf({L"[エラー] [Files] の指定に一致するファイルがありません。"}));
}

TEST_F(InstallRunTest, FileSystemErrorsEndTheRunAsUnexpected) {
    WritePayload();
    // A file where the install folder's parent should be: the folder cannot be
    // created.
    WriteFile(target_.path() / L"Program Files", "not a folder");
    window_.SetLog(L"old\r\n");
    RunInstall(context_);
    ExpectRetryOffered(L"インストール中に予期しないエラーが発生しました。");
    EXPECT_EQ(window_.Log(), L"");

    // A destination file held open: the copy raises after the files before it
    // were logged.
    fs::remove(target_.path() / L"Program Files");
    WriteFile(Installed(L"Doc\\Manual.txt"), "old");
    UniqueHandleKernel lock(
        ::CreateFileW(Installed(L"Doc\\Manual.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    boxes.clear();
    RunInstall(context_);
    ExpectRetryOffered(L"インストール中に予期しないエラーが発生しました。");
    EXPECT_EQ(window_.Log().find(L"Manual.txt"), std::wstring::npos);
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_TRUE(UninstallKeysOf(context_.config.AppName).empty());
}

TEST_F(InstallRunTest, LaterStepsOnlyWarnAndTheRunStillSucceeds) {
    WritePayload();
    context_.config.MainExe.clear();
    context_.config.StartMenuItems = {{L"Zel App", L"App.exe"}, {L"Gone", L"Missing.exe"}};
    context_.selfPath = (temp_.path() / L"no_such_setup.exe").wstring();

    RunInstall(context_);

    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(context_.page, Finish);
    EXPECT_EQ(window_.Log(), LogOf({L"コピー: App.exe", L"コピー: Doc\\Manual.txt", kMirrorSkippedLine,
                                    L"[警告] デスクトップショートカット作成失敗: setup.ini の [Files] "
                                    L"セクションに exe "
                                    L"の記述が見つからないため、ショートカットを作成できません。",
                                    L"[警告] スタートメニュー項目作成失敗: "
                                    L"スタートメニュー項目作成失敗: Gone "
                                    L"(ショートカット対象が見つかりません: " +
                                        Installed(L"Missing.exe").wstring() + L")",
                                    L"[警告] Uninstall.exe のコピーに失敗しました。", kInstalledLine}));
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

    RunInstall(context_);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.starts_with(L"追加のコピー先 (MstaFolder) へファイルを配置できませんでした。\n"))
        << fs::path(boxes[0].text).string();
    EXPECT_EQ(window_.Text(IDC_NEXT), L"再試行");
    EXPECT_TRUE(fs::exists(Installed(L"Doc\\Manual.txt")));
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_FALSE(fs::exists(Installed(L"Uninstall.exe")));
    EXPECT_TRUE(UninstallKeysOf(context_.config.AppName).empty());
}

TEST_F(InstallRunTest, SystemFolderFailureStopsTheRun) {
    WritePayload();
    context_.config.System32RegSvr = {L"Missing.dll"};
    RunInstall(context_);
    ExpectRetryOffered(
        L"システムフォルダへの配置または regsvr32 登録に失敗しました。\n"
        L"システム登録用ソースが見つかりません: files\\Missing.dll");
    EXPECT_FALSE(fs::exists(Installed(L"install_manifest.txt")));
    EXPECT_TRUE(UninstallKeysOf(context_.config.AppName).empty());
}

TEST_F(InstallRunTest, SystemFilesGoIntoTheirManifestAndAreListed) {
    WritePayload();
    // A 64-bit image without DllRegisterServer: placed in System32, not registered.
    const std::wstring name = L"zel_copy_only_" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
    fs::copy_file(context_.selfPath, Files() / name);
    context_.config.System32RegSvr = {name};
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const fs::path placed = fs::path(system) / name;

    RunInstall(context_);

    std::error_code error;
    const bool wasPlaced = fs::remove(placed, error);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(context_.page, Finish);
    EXPECT_TRUE(wasPlaced);
    EXPECT_EQ(ReadFile(Installed(L"system32_copy_manifest.txt")), "\xEF\xBB\xBF" + placed.string() + "\n");
    EXPECT_FALSE(fs::exists(Installed(L"system32_regsvr_manifest.txt")));
    EXPECT_EQ(ReadFile(Installed(L"install_manifest.txt")),
              "\xEF\xBB\xBF"
              "App.exe\nDoc\\Manual.txt\ninstall_manifest.txt\nUninstall.exe\nsystem32_copy_manifest.txt\n");
}

}  // namespace
}  // namespace zel
