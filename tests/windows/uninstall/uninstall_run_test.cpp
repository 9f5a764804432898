// The whole uninstall run against a real registry entry and install folder,
// with its messages recorded instead of shown.
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "install/registration/uninstall_entry.h"
#include "uninstall/uninstall_steps.h"
#include "util/unicode.h"
#include "util/unique_handle.h"
#include "windows/uninstall/uninstall_test_support.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::Show;
using test::TempFolder;
using test::WriteFile;

constexpr UINT kError = MB_OK | MB_ICONERROR;
constexpr UINT kWarning = MB_OK | MB_ICONWARNING;
constexpr UINT kInformation = MB_OK | MB_ICONINFORMATION;
constexpr UINT kQuestion = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
const std::wstring kTitle = L"アンインストール";
const std::wstring kConfirmTitle = L"アンインストールの確認";
const std::wstring kDone = L"アンインストールが完了しました。";

struct Box {
    std::wstring text;
    std::wstring title;
    UINT style;
    bool operator==(const Box&) const = default;
};

void PrintTo(const Box& box, std::ostream* os) {
    *os << "{" << Show(box.text) << " | " << Show(box.title) << " | 0x" << std::hex << box.style << "}";
}

// Records the run's messages as the boxes they are on the interactive road and
// answers the confirmation as told.
class BoxRecorder : public RunReporter {
public:
    BoxRecorder(std::vector<Box>& boxes, bool answer) : boxes_(boxes), answer_(answer) {}
    void Log(const std::wstring&) override {}
    void InstallStarted() override {}
    void InstallFinished(bool) override {}
    void SetProgressRange(std::uint32_t) override {}
    void SetProgressPosition(std::uint32_t) override {}
    void Notify(NoticeKind kind, const std::wstring& title, const std::wstring& text) override {
        const UINT style = kind == NoticeKind::Error ? kError : kind == NoticeKind::Warning ? kWarning : kInformation;
        boxes_.push_back({text, title, style});
    }
    bool Ask(const std::wstring& title, const std::wstring& text, bool quietAnswer) override {
        EXPECT_TRUE(quietAnswer);  // a quiet run removes the product
        boxes_.push_back({text, title, kQuestion});
        return answer_;
    }

private:
    std::vector<Box>& boxes_;
    bool answer_;
};

std::wstring Confirmation(const std::wstring& location) {
    return L"「" + location + L"」からアプリケーションを削除します。よろしいですか？";
}

// A product entry under the machine's Uninstall key, deleted again at the end.
class UninstallRun : public testing::Test {
protected:
    void SetUp() override {
        key_ = L"{ZEL-UNINSTALL-TEST-" + std::to_wstring(GetCurrentProcessId()) + L"}";
        installDir_ = root_ / L"Program Files\\My App";
        fs::create_directories(installDir_);
    }
    void TearDown() override {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (Path() + L"\\Child").c_str(), KEY_WOW64_64KEY, 0);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), KEY_WOW64_64KEY, 0);
    }

    std::wstring Path() const { return std::wstring(kUninstallKeyPath) + L"\\" + key_; }

    void Register(const std::vector<std::pair<std::wstring, std::wstring>>& values, DWORD type = REG_SZ) {
        UniqueHKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY,
                                  nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, data] : values) {
            ASSERT_EQ(RegSetValueExW(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
                      ERROR_SUCCESS);
        }
    }
    bool Registered() const {
        UniqueHKey key;
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) ==
               ERROR_SUCCESS;
    }

    void WriteManifest(const std::vector<std::wstring>& entries) {
        std::string bytes = "\xEF\xBB\xBF";
        for (const auto& entry : entries) bytes += WideToUtf8(entry) + "\n";
        WriteFile(installDir_ / L"install_manifest.txt", bytes);
    }

    // Runs with the given key text; the confirmation is answered with answer.
    UninstallResult Run(std::wstring keyText, int answer = IDYES, fs::path ownPath = {}) {
        UninstallOptions options;
        options.ownPath = ownPath.empty() ? test::TestProgramFolder() / L"not-the-uninstaller.exe" : ownPath;
        options.desktopFolder = root_ / L"Desktop";
        options.programsFolder = root_ / L"Programs";
        BoxRecorder recorder(boxes_, answer == IDYES);
        return RunUninstall(keyText, recorder, options);
    }

    ComApartment apartment_;  // the run reads shell links, as setup.exe does with COM initialised
    TempFolder root_;
    std::wstring key_;
    fs::path installDir_;
    std::vector<Box> boxes_;
};

// A file held open by a running program cannot be deleted: it is deleted at
// the next restart, and the closing message says so instead of a plain success.
TEST_F(UninstallRun, FilesHeldOpenAreDeletedAtTheNextRestart) {
    Register({{L"InstallLocation", installDir_.wstring()}});
    WriteFile(installDir_ / L"App.exe", "app");
    const fs::path held = installDir_ / L"Doc\\Manual.txt";
    WriteFile(held, "manual");
    WriteManifest({L"App.exe", L"Doc\\Manual.txt", L"install_manifest.txt"});
    UniqueKernelHandle lock(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);

    EXPECT_EQ(Run(key_), UninstallResult::RemovedAtRestart);
    lock.reset();

    EXPECT_FALSE(Exists(installDir_ / L"App.exe"));
    EXPECT_FALSE(Exists(installDir_ / L"install_manifest.txt"));
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(Registered());
    const fs::path canonicalHeld = CanonicalOrEmpty(held);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].title, kTitle);
    EXPECT_EQ(boxes_[1].style, kWarning);
    EXPECT_NE(boxes_[1].text, kDone);
    EXPECT_NE(boxes_[1].text.find(L"再起動"), std::wstring::npos);
    EXPECT_NE(boxes_[1].text.find(canonicalHeld.wstring()), std::wstring::npos);

    // The file first, then the folder that held it.
    const std::vector<std::wstring> pending = test::PendingRestartOperations();
    const auto file = std::find(pending.begin(), pending.end(), L"\\??\\" + canonicalHeld.wstring());
    const auto folder = std::find(pending.begin(), pending.end(), L"\\??\\" + canonicalHeld.parent_path().wstring());
    ASSERT_NE(file, pending.end());
    ASSERT_NE(folder, pending.end());
    EXPECT_LT(file - pending.begin(), folder - pending.begin());
}

TEST_F(UninstallRun, StopsBeforeTheQuestionWhenTheEntryIsUnusable) {
    struct Case {
        const char* what;
        std::wstring keyText;
        std::vector<std::pair<std::wstring, std::wstring>> values;
        DWORD type;
        std::wstring message;
        UninstallResult result;
    };
    const std::wstring installLocation = installDir_.wstring();
    const Case cases[] = {
        {"empty braces", L"\"{}\"", {}, REG_SZ, L"無効なアンインストール引数です。", UninstallResult::InvalidKey},
        {"only blanks and quotes",
         L" \"\" ",
         {},
         REG_SZ,
         L"無効なアンインストール引数です。",
         UninstallResult::InvalidKey},
        {"no such entry",
         L"{ZEL-UNINSTALL-TEST-NO-SUCH-ENTRY}",
         {},
         REG_SZ,
         L"インストール情報がレジストリに見つかりません。",
         UninstallResult::NotRegistered},
        {"no InstallLocation",
         key_,
         {{L"DisplayName", L"My App"}},
         REG_SZ,
         L"インストール先 (InstallLocation) を読み取れません。",
         UninstallResult::Failed},
        {"empty InstallLocation",
         key_,
         {{L"InstallLocation", L""}},
         REG_SZ,
         L"インストール先 (InstallLocation) を読み取れません。",
         UninstallResult::Failed},
        {"InstallLocation not REG_SZ",
         key_,
         {{L"InstallLocation", installLocation}},
         REG_EXPAND_SZ,
         L"インストール先 (InstallLocation) を読み取れません。",
         UninstallResult::Failed},
    };
    WriteFile(installDir_ / L"App.exe");
    WriteManifest({L"App.exe"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        boxes_.clear();
        if (!c.values.empty()) Register(c.values, c.type);

        EXPECT_EQ(Run(c.keyText), c.result);
        EXPECT_EQ(boxes_, (std::vector<Box>{{c.message, kTitle, kError}}));
        EXPECT_TRUE(Exists(installDir_ / L"App.exe"));
        EXPECT_EQ(Registered(), !c.values.empty());
    }
}

TEST_F(UninstallRun, AnsweringNoChangesNothing) {
    // The question shows the location exactly as stored, trailing separator included.
    const std::wstring stored = installDir_.wstring() + L"\\";
    Register({{L"InstallLocation", stored}});
    WriteFile(installDir_ / L"App.exe");
    WriteManifest({L"App.exe", L"install_manifest.txt"});

    EXPECT_EQ(Run(L" \"" + key_.substr(1, key_.size() - 2) + L"\" ", IDNO), UninstallResult::Declined);

    EXPECT_EQ(boxes_, (std::vector<Box>{{Confirmation(stored), kConfirmTitle, kQuestion}}));
    EXPECT_TRUE(Exists(installDir_ / L"App.exe"));
    EXPECT_TRUE(Exists(installDir_ / L"install_manifest.txt"));
    EXPECT_TRUE(Registered());
}

TEST_F(UninstallRun, YesRemovesFilesFoldersShortcutsAndTheEntry) {
    const fs::path desktop = root_ / L"Desktop";
    const fs::path programs = root_ / L"Programs";
    const std::wstring shortcutName = L"My Tool 1.5";  // made without ".lnk" by earlier installations
    const std::wstring groupName = L"Vendor\\My App";
    WriteFile(installDir_ / L"App.exe");
    ASSERT_TRUE(test::WriteLink(desktop / shortcutName, installDir_ / L"App.exe"));
    ASSERT_TRUE(test::WriteLink(programs / groupName / L"My App.lnk", installDir_ / L"App.exe"));

    Register({{L"InstallLocation", installDir_.wstring()},
              {L"ZelShortcutName", shortcutName},
              {L"ZelStartMenuGroupName", groupName}});
    WriteFile(installDir_ / L"App.exe");
    WriteFile(installDir_ / L"Doc\\マニュアル.pdf");
    WriteFile(installDir_ / L"data\\a\\b\\c.bin");
    WriteFile(installDir_ / L"Uninstall.exe");
    // Drafts of Uninstall.exe left by killed install runs, in no manifest.
    WriteFile(installDir_ / L"Uninstall.exe.4242-0.tmp");
    WriteFile(installDir_ / (L"uninstall.exe." + std::to_wstring(GetCurrentProcessId() + 4) + L"-3.TMP"));
    WriteFile(root_ / L"Program Files\\Other\\victim.txt");
    WriteManifest({L"App.exe", L"Doc\\マニュアル.pdf", L"data\\a\\b\\c.bin", L"..\\Other\\victim.txt",
                   L"install_manifest.txt", L"Uninstall.exe"});

    EXPECT_EQ(Run(key_.substr(1, key_.size() - 2)), UninstallResult::Removed);

    EXPECT_EQ(boxes_, (std::vector<Box>{{Confirmation(installDir_.wstring()), kConfirmTitle, kQuestion},
                                        {kDone, kTitle, kInformation}}));
    EXPECT_TRUE(Exists(installDir_)) << "the install folder stays";
    EXPECT_TRUE(fs::is_empty(installDir_));
    EXPECT_TRUE(Exists(root_ / L"Program Files\\Other\\victim.txt"));
    EXPECT_FALSE(Exists(desktop / shortcutName));
    EXPECT_FALSE(Exists(programs / groupName));
    EXPECT_TRUE(Exists(programs / L"Vendor"));  // only the group itself goes
    EXPECT_FALSE(Registered());
}

// Without the folder or the list of what the install placed, the run removes
// nothing, asks nothing, reports failure with what is missing, and keeps the
// entry, so that it can be run again once the drive or the file is back.
TEST_F(UninstallRun, WhatCannotBeReadKeepsTheEntryAndChangesNothing) {
    const fs::path current = root_ / L"current";
    const fs::path manifest = CanonicalOrEmpty(installDir_ / L"install_manifest.txt");
    const std::wstring notAbsolute = L"\n削除するものが分からないため、何も削除していません。";
    const std::wstring folderGone =
        L"\n何も削除していません。ドライブまたはフォルダが戻ったら、アンインストールをもう一度実行できます。";
    const std::wstring manifestGone =
        L"install_manifest.txt が見つからないか空です: " + manifest.wstring() +
        L"\n削除するものが分からないため、何も削除していません。このファイルが戻ったら、アンインストールをもう一度実行"
        L"できます。";
    struct Case {
        const char* what;
        std::wstring location;
        std::string manifestBytes;  // empty: no manifest
        std::wstring message;
    };
    const std::wstring gone = (root_ / L"Program Files\\Gone").wstring();
    const std::wstring file = (installDir_ / L"App.exe").wstring();
    const Case cases[] = {
        {"no manifest", installDir_.wstring(), "", manifestGone},
        {"empty manifest", installDir_.wstring(), "\xEF\xBB\xBF\n\n", manifestGone},
        {"folder gone", gone, "", L"インストール先のフォルダが見つかりません: " + gone + folderGone},
        {"drive gone", L"Q:\\Zel App", "", L"インストール先のフォルダが見つかりません: Q:\\Zel App" + folderGone},
        {"a file, not a folder", file, "", L"インストール先のフォルダが見つかりません: " + file + folderGone},
        // Never resolved against the current folder, which holds such a folder.
        {"relative", L"relative\\app", "",
         L"インストール先 (InstallLocation) が完全なパスではありません: relative\\app" + notAbsolute},
        {"drive-relative", L"C:relative\\app", "",
         L"インストール先 (InstallLocation) が完全なパスではありません: C:relative\\app" + notAbsolute},
    };
    const fs::path desktop = root_ / L"Desktop";
    WriteFile(installDir_ / L"App.exe");
    ASSERT_TRUE(test::WriteLink(desktop / L"My App.lnk", installDir_ / L"App.exe"));
    WriteFile(current / L"relative\\app\\App.exe");
    WriteFile(current / L"relative\\app\\install_manifest.txt",
              "\xEF\xBB\xBF"
              "App.exe\n");
    const fs::path previous = fs::current_path();
    fs::current_path(current);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes_.clear();
        TearDown();
        Register({{L"InstallLocation", c.location}, {L"ZelShortcutName", L"My App"}});
        fs::remove(installDir_ / L"install_manifest.txt");
        if (!c.manifestBytes.empty()) WriteFile(installDir_ / L"install_manifest.txt", c.manifestBytes);

        EXPECT_EQ(Run(key_), UninstallResult::Failed);

        EXPECT_EQ(boxes_, (std::vector<Box>{{c.message, kTitle, kError}}));
        EXPECT_TRUE(Registered());
        EXPECT_TRUE(Exists(installDir_ / L"App.exe"));
        EXPECT_TRUE(Exists(current / L"relative\\app\\App.exe"));
        EXPECT_TRUE(Exists(desktop / L"My App.lnk"));
    }
    fs::current_path(previous);

    // With the file back, the same entry is removed.
    WriteManifest({L"App.exe", L"install_manifest.txt"});
    TearDown();
    Register({{L"InstallLocation", installDir_.wstring()}, {L"ZelShortcutName", L"My App"}});
    boxes_.clear();
    EXPECT_EQ(Run(key_), UninstallResult::Removed);
    EXPECT_FALSE(Registered());
    EXPECT_FALSE(Exists(installDir_ / L"App.exe"));
    EXPECT_FALSE(Exists(desktop / L"My App.lnk"));
}

TEST_F(UninstallRun, AnEntryThatCannotBeDeletedIsReportedAndTheRunGoesOn) {
    Register({{L"InstallLocation", installDir_.wstring()}});
    {
        UniqueHKey child;  // a subkey keeps RegDeleteKeyExW from deleting the entry
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (Path() + L"\\Child").c_str(), 0, nullptr, 0,
                                  KEY_WRITE | KEY_WOW64_64KEY, nullptr, child.put(), nullptr),
                  ERROR_SUCCESS);
    }
    WriteFile(installDir_ / L"App.exe");
    WriteManifest({L"App.exe"});

    EXPECT_EQ(Run(key_), UninstallResult::Removed);

    EXPECT_EQ(boxes_,
              (std::vector<Box>{{Confirmation(installDir_.wstring()), kConfirmTitle, kQuestion},
                                {L"アンインストール用レジストリの削除に失敗しました。管理者として実行してください。",
                                 kTitle, kWarning},
                                {kDone, kTitle, kInformation}}));
    EXPECT_FALSE(Exists(installDir_ / L"App.exe"));
}

TEST_F(UninstallRun, TheInstalledUninstallerIsLeftToTheSelfRemoval) {
    Register({{L"InstallLocation", installDir_.wstring()}});
    const fs::path uninstaller = installDir_ / L"Uninstall.exe";
    WriteFile(uninstaller);
    WriteFile(installDir_ / L"App.exe");
    WriteManifest({L"App.exe", L"install_manifest.txt", L"Uninstall.exe"});

    EXPECT_EQ(Run(key_, IDYES, uninstaller), UninstallResult::Removed);

    EXPECT_TRUE(Exists(uninstaller)) << "the file pass must skip the running program";
    EXPECT_FALSE(Exists(installDir_ / L"App.exe"));
    for (int i = 0; i < 100 && Exists(uninstaller); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(Exists(uninstaller)) << "the self-removal should have deleted it";
}

}  // namespace
}  // namespace zel
