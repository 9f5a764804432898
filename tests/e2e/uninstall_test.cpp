// Removal of a sample product installed through the wizard: by the registered
// UninstallString answered Yes and No, through the maintenance dialog, with a
// manifest that names files outside the install folder, and with the manifest
// gone (the product stays registered until it is back).
#include <windows.h>

#include <algorithm>
#include <map>

#include "automation/registry.h"
#include "e2e_fixture.h"
#include "sample_install.h"
#include "wizard_steps.h"

namespace zel::e2e {
namespace {

namespace fs = std::filesystem;

const Bytes kNotes = {'m', 'i', 'n', 'e'};

// Every file below the folder with its content.
std::map<std::wstring, Bytes> FolderContents(const fs::path& folder) {
    std::map<std::wstring, Bytes> contents;
    for (const auto& [name, path] : ListFiles(folder)) contents[name] = ReadFileBytes(path).value_or(Bytes{});
    return contents;
}

void ExpectBox(const MessageBoxContent& box, const std::wstring& title, const std::wstring& text, BoxIcon icon,
               const std::vector<int>& buttons) {
    EXPECT_EQ(U8(box.title), U8(title));
    EXPECT_EQ(U8(box.text), U8(text));
    EXPECT_EQ(box.icon, icon) << BoxIconName(box.icon) << " found by " << box.iconFoundBy;
    EXPECT_EQ(box.buttons, buttons);
}

class UninstallTest : public SampleInstallTest {
protected:
    void SetUp() override {
        SampleInstallTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(InstallThroughWizard());
        const std::vector<std::wstring> keys = KeysOfProduct(Sample().appName);
        ASSERT_EQ(keys.size(), 1u);
        key_ = keys[0];
        manifest_ = ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}));
        ASSERT_GE(manifest_.size(), 4u) << "payload files, install_manifest.txt, Uninstall.exe, the system manifest";
        uninstallString_ = ReadUninstallString(key_, L"UninstallString").value_or(L"");
        ASSERT_EQ(U8(uninstallString_),
                  U8(L"\"" + (installDir_ / L"Uninstall.exe").wstring() + L"\" /uninstall " + key_));
        ASSERT_EQ(ReadMachineString(kComTestKey, kComDllName), std::optional<std::wstring>(L"registered"));
        // A file of the user's own next to the installed ones.
        ASSERT_TRUE(WriteFileBytes(installDir_ / L"Doc" / L"notes.txt", kNotes));
    }
    void TearDown() override {
        if (!outsideFolder_.empty()) RemoveTree(outsideFolder_);
        SampleInstallTest::TearDown();
    }

    // The installed Uninstall.exe started with the registered command line, as
    // the system's list of programs starts it.
    Process StartUninstallString() {
        std::wstring error;
        Process process = StartCommandLine(uninstallString_, &error);
        EXPECT_TRUE(process) << U8(error);
        return process;
    }

    // Expects the confirmation box, checks it and answers it.
    bool AnswerConfirmation(const Process& process, int answer) {
        HWND box = Expect(process, WindowKind::MessageBox, L"confirm");
        if (!box) return false;
        const MessageBoxContent confirm = AnswerBox(box, answer, L"confirm");
        ExpectBox(confirm, L"アンインストールの確認",
                  L"「" + installDir_.wstring() + L"」からアプリケーションを削除します。よろしいですか？",
                  BoxIcon::Question, {IDYES, IDNO});
        return true;
    }

    // Expects the box that ends the run, checks it and presses OK.
    bool AnswerCompletion(const Process& process) {
        HWND box = Expect(process, WindowKind::MessageBox, L"done");
        if (!box) return false;
        ExpectBox(AnswerBox(box, IDOK, L"done"), L"アンインストール", L"アンインストールが完了しました。",
                  BoxIcon::Information, {IDOK});
        return true;
    }

    // What the uninstall removes outside the install folder.
    void ExpectTracesOutsideTheFolderRemoved() {
        EXPECT_FALSE(fs::exists(desktopLink_)) << "desktop shortcut";
        EXPECT_FALSE(fs::exists(startMenuGroup_)) << "Start-menu group";
        EXPECT_FALSE(UninstallKeyExists(key_)) << "Uninstall key";
        EXPECT_FALSE(fs::exists(systemDll_)) << "library in the system folder";
        EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::nullopt) << "the library's registration";
        EXPECT_NE(ReadMachineString(kComTestKey, L"UnregisterOrder").value_or(L"").find(L"ZelSampleCom.dll;"),
                  std::wstring::npos)
            << "DllUnregisterServer was not called";
    }

    // The whole product is gone; the install folder stays with the user's file.
    // Uninstall.exe is checked by the caller, since when it goes depends on the road.
    void ExpectProductRemoved() {
        for (const std::wstring& entry : manifest_) {
            if (entry == L"Uninstall.exe") continue;
            EXPECT_FALSE(fs::exists(installDir_ / entry)) << U8(entry) << " is still there";
        }
        EXPECT_FALSE(fs::exists(installDir_ / L"Data")) << "a folder emptied by the uninstall stays";
        EXPECT_TRUE(fs::is_directory(installDir_)) << "the install folder itself stays";
        EXPECT_EQ(ReadFileBytes(installDir_ / L"Doc" / L"notes.txt"), std::optional<Bytes>(kNotes))
            << "the user's own file goes with the product";
        ExpectTracesOutsideTheFolderRemoved();
    }

    // The installed uninstaller deletes itself shortly after it has ended.
    void ExpectUninstallerRemovesItself() {
        const fs::path uninstaller = installDir_ / L"Uninstall.exe";
        EXPECT_TRUE(WaitFor([&] { return !fs::exists(uninstaller); }, 10s, 100ms))
            << "Uninstall.exe is still there 10 s after its exit";
    }

    std::wstring key_;
    std::vector<std::wstring> manifest_;
    std::wstring uninstallString_;
    fs::path outsideFolder_;
};

TEST_F(UninstallTest, UninstallStringAnsweredYesRemovesTheProductAndItself) {
    Process uninstall = StartUninstallString();
    ASSERT_TRUE(uninstall);
    ASSERT_TRUE(AnswerConfirmation(uninstall, IDYES));
    ASSERT_TRUE(AnswerCompletion(uninstall));
    EXPECT_EQ(ExitCode(uninstall), std::optional<DWORD>(0));
    ExpectProductRemoved();
    ExpectUninstallerRemovesItself();
}

// A product file held open by a running program cannot be deleted: it is left to
// the next restart, and the closing box says so instead of a plain success.
TEST_F(UninstallTest, FileHeldOpenIsDeletedAtTheNextRestart) {
    const fs::path held = installDir_ / L"Doc" / L"Manual.txt";
    HANDLE lock = ::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Process uninstall = StartUninstallString();
    ASSERT_TRUE(uninstall);
    ASSERT_TRUE(AnswerConfirmation(uninstall, IDYES));
    HWND box = Expect(uninstall, WindowKind::MessageBox, L"done");
    ASSERT_NE(box, nullptr);
    const MessageBoxContent done = AnswerBox(box, IDOK, L"done");
    EXPECT_EQ(ExitCode(uninstall), std::optional<DWORD>(0));
    ::CloseHandle(lock);

    EXPECT_EQ(U8(done.title), U8(L"アンインストール"));
    EXPECT_EQ(done.icon, BoxIcon::Warning) << BoxIconName(done.icon);
    EXPECT_NE(done.text.find(L"再起動"), std::wstring::npos) << U8(done.text);
    EXPECT_NE(done.text.find(held.wstring()), std::wstring::npos) << U8(done.text);
    EXPECT_TRUE(fs::exists(held));
    EXPECT_FALSE(fs::exists(installDir_ / L"App.exe"));
    ExpectTracesOutsideTheFolderRemoved();
    const std::vector<std::wstring> pending =
        ReadMachineMultiString(L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations");
    EXPECT_NE(std::find(pending.begin(), pending.end(), L"\\??\\" + held.wstring()), pending.end());
}

TEST_F(UninstallTest, UninstallStringAnsweredNoChangesNothing) {
    const std::map<std::wstring, Bytes> before = FolderContents(installDir_);
    Process uninstall = StartUninstallString();
    ASSERT_TRUE(uninstall);
    ASSERT_TRUE(AnswerConfirmation(uninstall, IDNO));
    EXPECT_EQ(ExitCode(uninstall), std::optional<DWORD>(0));
    EXPECT_EQ(FindProcessWindow(uninstall.id(), WindowKind::MessageBox), nullptr) << "no box after No";

    EXPECT_TRUE(FolderContents(installDir_) == before) << "the install folder changed";
    EXPECT_TRUE(fs::exists(desktopLink_));
    EXPECT_TRUE(fs::exists(startMenuGroup_));
    EXPECT_TRUE(UninstallKeyExists(key_));
    EXPECT_TRUE(fs::exists(systemDll_));
    EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::optional<std::wstring>(L"registered"));
    EXPECT_EQ(ReadMachineString(kComTestKey, L"UnregisterOrder"), std::nullopt);
}

TEST_F(UninstallTest, MaintenanceDialogUninstallRemovesTheProductAndTheUninstaller) {
    Process setup = StartProcess(GetInputs().setupExe, {});
    HWND dialog = Expect(setup, WindowKind::Maintenance, L"maintenance");
    ASSERT_NE(dialog, nullptr);
    Click(dialog, kUninstall);
    ASSERT_TRUE(WaitFor([&] { return IsControlChecked(dialog, kUninstall); }));
    Click(dialog, kContinue);
    ASSERT_TRUE(AnswerConfirmation(setup, IDYES));
    ASSERT_TRUE(AnswerCompletion(setup));
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    // setup.exe is not the installed uninstaller: the file pass deletes it.
    EXPECT_FALSE(fs::exists(installDir_ / L"Uninstall.exe")) << "Uninstall.exe is still there at exit";
    ExpectProductRemoved();
}

TEST_F(UninstallTest, ManifestEntriesOutsideTheFolderAreNeverDeleted) {
    // Beside the install folder, reached by climbing out of it.
    const fs::path beside = scratch_ / L"outside.txt";
    // Elsewhere on the disk, named by an absolute path.
    outsideFolder_ = L"C:\\ZelOutside";
    const fs::path elsewhere = outsideFolder_ / L"keep.txt";
    const Bytes keep = {'k', 'e', 'e', 'p'};
    ASSERT_TRUE(WriteFileBytes(beside, keep));
    ASSERT_TRUE(WriteFileBytes(elsewhere, keep));

    std::wstring text;
    for (const std::wstring& line : manifest_) text += line + L"\n";
    for (const wchar_t* entry : {L"..\\outside.txt", L"../outside.txt", L"Doc\\..\\..\\outside.txt",
                                 L"C:\\ZelOutside\\keep.txt", L"C:\\ZelOutside", L"UNINSTALL.EXE", L"Uninstall.exe"}) {
        text += std::wstring(entry) + L"\n";
    }
    Bytes manifest = {0xEF, 0xBB, 0xBF};
    const Bytes body = Utf8Bytes(text);
    manifest.insert(manifest.end(), body.begin(), body.end());
    ASSERT_TRUE(WriteFileBytes(installDir_ / L"install_manifest.txt", manifest));

    Process uninstall = StartUninstallString();
    ASSERT_TRUE(uninstall);
    ASSERT_TRUE(AnswerConfirmation(uninstall, IDYES));
    ASSERT_TRUE(AnswerCompletion(uninstall));
    EXPECT_EQ(ExitCode(uninstall), std::optional<DWORD>(0));
    EXPECT_TRUE(fs::exists(installDir_ / L"Uninstall.exe")) << "the running uninstaller was deleted by the file pass";

    EXPECT_EQ(ReadFileBytes(beside), std::optional<Bytes>(keep)) << "a file beside the install folder was deleted";
    EXPECT_EQ(ReadFileBytes(elsewhere), std::optional<Bytes>(keep)) << "a file elsewhere was deleted";
    ExpectProductRemoved();
    ExpectUninstallerRemovesItself();
}

// Without install_manifest.txt the uninstall cannot tell what to remove: quiet
// and interactive, it fails, says what is missing, changes nothing and keeps
// the key, so that it can be run again once the file is back.
TEST_F(UninstallTest, MissingManifestKeepsTheProductRegisteredUntilItIsBack) {
    const fs::path manifest = installDir_ / L"install_manifest.txt";
    const Bytes saved = ReadFileBytes(manifest).value_or(Bytes{});
    ASSERT_TRUE(fs::remove(manifest));
    const std::wstring missing =
        L"install_manifest.txt が見つからないか空です: " + manifest.wstring() +
        L"\n削除するものが分からないため、何も削除していません。このファイルが戻ったら、アンインストールをもう一度"
        L"実行できます。";
    const auto expectNothingChanged = [&] {
        EXPECT_TRUE(UninstallKeyExists(key_));
        EXPECT_TRUE(fs::exists(installDir_ / L"App.exe"));
        EXPECT_TRUE(fs::exists(installDir_ / L"Uninstall.exe"));
        EXPECT_TRUE(fs::exists(desktopLink_));
        EXPECT_TRUE(fs::exists(startMenuGroup_));
        EXPECT_TRUE(fs::exists(systemDll_));
        EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::optional<std::wstring>(L"registered"));
    };

    // Quiet: 1603 with the box's text in the log.
    const fs::path log = scratch_ / L"uninstall.log";
    Process quiet =
        StartProcess(installDir_ / L"Uninstall.exe", {L"/uninstall", key_, L"/quiet", L"/log", log.wstring()});
    ASSERT_TRUE(quiet);
    EXPECT_EQ(ExitCode(quiet), std::optional<DWORD>(1603));
    const std::optional<Bytes> logBytes = ReadFileBytes(log);
    ASSERT_TRUE(logBytes.has_value());
    const std::string logText(logBytes->begin(), logBytes->end());
    EXPECT_NE(logText.find(U8(L"install_manifest.txt が見つからないか空です: " + manifest.wstring())),
              std::string::npos)
        << logText;
    expectNothingChanged();

    // Interactive: an error box before the question, exit code 1.
    Process uninstall = StartUninstallString();
    ASSERT_TRUE(uninstall);
    HWND box = Expect(uninstall, WindowKind::MessageBox, L"missing");
    ASSERT_NE(box, nullptr);
    ExpectBox(AnswerBox(box, IDOK, L"missing"), L"アンインストール", missing, BoxIcon::Error, {IDOK});
    EXPECT_EQ(ExitCode(uninstall), std::optional<DWORD>(1));
    expectNothingChanged();

    // With the file back the same registration removes the product.
    ASSERT_TRUE(WriteFileBytes(manifest, saved));
    Process again = StartUninstallString();
    ASSERT_TRUE(again);
    ASSERT_TRUE(AnswerConfirmation(again, IDYES));
    ASSERT_TRUE(AnswerCompletion(again));
    EXPECT_EQ(ExitCode(again), std::optional<DWORD>(0));
    ExpectProductRemoved();
    ExpectUninstallerRemovesItself();
}

}  // namespace
}  // namespace zel::e2e
