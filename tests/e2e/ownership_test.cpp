// What the installer, running with administrator rights, must never take for
// its own: files planted in its extraction folder, another vendor's library of
// the same name in the system folder, a library another product still uses,
// files named by a forged system manifest, the user's desktop file of the
// shortcut's name, and another vendor's links in a shared Start-menu group.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <set>

#include "automation/payload_tools.h"
#include "automation/registry.h"
#include "automation/shell.h"
#include "e2e_fixture.h"
#include "sample_install.h"
#include "util/unique_handle.h"
#include "wizard_steps.h"

namespace zel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kSharedDlls[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::optional<DWORD> SharedCount(const fs::path& file) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSharedDlls, file.c_str(), RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr,
                       &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// setup.exe's folder name for a moment from now.
std::wstring TempFolderNameIn(int seconds) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart += static_cast<ULONGLONG>(seconds) * 10'000'000ULL;
    return TempFolderNameAt(FILETIME{t.LowPart, t.HighPart});
}

class OwnershipTest : public SampleInstallTest {
protected:
    void TearDown() override {
        for (const auto& [key, folder] : extraProducts_) DeleteUninstallKey(key);
        SampleInstallTest::TearDown();
    }

    // The sample with [Setup] lines replaced ("Key=value"), as its own setup.exe.
    fs::path Variant(const std::wstring& name, const std::vector<std::wstring>& lines) {
        std::vector<ArchiveFile> files = ReadProductFolder(GetInputs().sampleDir);
        auto ini = std::find_if(files.begin(), files.end(), [](const ArchiveFile& f) { return f.name == "setup.ini"; });
        EXPECT_NE(ini, files.end());
        if (ini == files.end()) return {};
        std::wstring text;
        for (std::size_t i = 2; i + 1 < ini->data.size(); i += 2)
            text.push_back(static_cast<wchar_t>(ini->data[i] | (ini->data[i + 1] << 8)));
        for (const std::wstring& line : lines) {
            const std::wstring key = line.substr(0, line.find(L'=') + 1);
            const std::size_t start = text.find(L"\n" + key);
            EXPECT_NE(start, std::wstring::npos) << U8(key);
            if (start == std::wstring::npos) continue;
            const std::size_t end = text.find_first_of(L"\r\n", start + 1);
            text.replace(start + 1, end - start - 1, line);
        }
        ini->data = Utf16LeWithBom(text);
        const fs::path exe = scratch_ / (name + L".exe");
        std::wstring error;
        EXPECT_TRUE(EmbedPayload(GetInputs().stubExe, exe, BuildArchive(files), error)) << U8(error);
        return exe;
    }

    // A whole install through the wizard; the log of its Finish page.
    std::wstring InstallWith(const fs::path& exe, const fs::path& folder) {
        Process setup = StartProcess(exe, {});
        HWND wizard = Expect(setup, WindowKind::Wizard, L"install_welcome");
        if (!wizard || !StartInstall(wizard, folder.wstring()) || !WaitForFinish(setup, wizard, Mode::Install)) {
            return {};
        }
        const std::wstring log = ControlText(wizard, kLog);
        Click(wizard, kNext);
        EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
        return log;
    }

    // The Uninstall key of the product, remembered for the clean-up.
    std::wstring KeyOf(const std::wstring& appName) {
        const std::vector<std::wstring> keys = KeysOfProduct(appName);
        EXPECT_EQ(keys.size(), 1u) << U8(appName);
        if (keys.empty()) return {};
        extraProducts_.emplace_back(keys[0], fs::path());
        return keys[0];
    }

    // Runs the registered UninstallString, answers Yes, and waits for its end.
    void Uninstall(const std::wstring& key) {
        const std::wstring command = ReadUninstallString(key, L"UninstallString").value_or(L"");
        ASSERT_FALSE(command.empty());
        std::wstring error;
        Process process = StartCommandLine(command, &error);
        ASSERT_TRUE(process) << U8(error);
        HWND box = Expect(process, WindowKind::MessageBox, L"uninstall_confirm");
        ASSERT_NE(box, nullptr);
        AnswerBox(box, IDYES, L"uninstall_confirm");
        box = Expect(process, WindowKind::MessageBox, L"uninstall_done");
        ASSERT_NE(box, nullptr);
        AnswerBox(box, IDOK, L"uninstall_done");
        EXPECT_EQ(ExitCode(process), std::optional<DWORD>(0));
        EXPECT_FALSE(UninstallKeyExists(key));
    }

    std::vector<std::pair<std::wstring, fs::path>> extraProducts_;
};

// Folders named for the coming seconds, one holding a different App.exe and a
// file of its own, are never used: the install has the payload's bytes only,
// and setup.exe's own folder is gone when it ends.
TEST_F(OwnershipTest, PlantedTempFolderIsNeverInstalledAndOwnFolderGoes) {
    for (const fs::path& old : SetupTempFolders()) RemoveTree(old);
    std::set<std::wstring> planted;
    for (int second = 0; second < 30; ++second) {
        // A folder holding a different App.exe and a file of its own; its "_2"
        // neighbour, the next name tried, taken by a plain file.
        const fs::path folder = fs::temp_directory_path() / TempFolderNameIn(second);
        ASSERT_TRUE(WriteFileBytes(folder / L"files" / L"App.exe", Utf8Bytes(L"planted")));
        ASSERT_TRUE(WriteFileBytes(folder / L"files" / L"Planted.dll", Utf8Bytes(L"planted")));
        ASSERT_TRUE(WriteFileBytes(folder.wstring() + L"_2", Utf8Bytes(L"planted")));
        planted.insert(folder.filename().wstring());
        planted.insert(folder.filename().wstring() + L"_2");
    }

    Process setup = StartProcess(GetInputs().setupExe, {});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"wizard");
    ASSERT_NE(wizard, nullptr);
    std::vector<fs::path> own;
    for (const fs::path& folder : SetupTempFolders()) {
        if (!planted.count(folder.filename().wstring())) own.push_back(folder);
    }
    ASSERT_EQ(own.size(), 1u) << "setup.exe made exactly one folder of its own";
    ASSERT_TRUE(StartInstall(wizard, installDir_.wstring()));
    ASSERT_TRUE(WaitForFinish(setup, wizard, Mode::Install));
    Click(wizard, kNext);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));

    EXPECT_EQ(ReadFileBytes(installDir_ / L"App.exe"), ReadFileBytes(GetInputs().sampleDir / L"files" / L"App.exe"));
    EXPECT_FALSE(fs::exists(installDir_ / L"Planted.dll"));
    for (const std::wstring& line :
         ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}))) {
        EXPECT_NE(line, L"Planted.dll");
    }
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(own[0]); }, 5s, 100ms)) << "the extraction folder stays";
    EXPECT_EQ(own[0].filename().wstring().substr(own[0].filename().wstring().size() - 2), L"_3")
        << "the name of the moment and its _2 are taken: " << U8(own[0].filename().wstring());
    for (const std::wstring& name : planted) {
        const fs::path path = fs::temp_directory_path() / name;
        EXPECT_TRUE(fs::exists(fs::is_directory(path) ? path / L"files" / L"App.exe" : path)) << "another's entry went";
        RemoveTree(path);
        std::error_code error;
        fs::remove(path, error);
    }
}

// Another vendor's library of the same name in System32 has no count: it is
// neither replaced nor registered nor listed, and a forged system manifest
// naming it and the system's own programs makes the uninstall delete nothing.
TEST_F(OwnershipTest, ForeignSystemFileAndForgedManifestSurvive) {
    const Bytes foreign = Utf8Bytes(L"another vendor's library");
    ASSERT_TRUE(WriteFileBytes(systemDll_, foreign));
    const std::wstring log = InstallWith(GetInputs().setupExe, installDir_);
    EXPECT_NE(log.find(L"[警告] 参照カウントのない同名ファイルがあるため置き換えません: "), std::wstring::npos)
        << U8(log);
    EXPECT_EQ(ReadFileBytes(systemDll_), std::optional<Bytes>(foreign));
    EXPECT_EQ(SharedCount(systemDll_), std::nullopt);
    EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::nullopt) << "the foreign file was registered";
    EXPECT_FALSE(fs::exists(installDir_ / L"system32_regsvr_manifest.txt"));

    // A standard user could have written these into an unprotected folder.
    const fs::path system = SystemFolder();
    std::wstring lines;
    for (const wchar_t* name : {L"notepad.exe", L"winver.exe", kComDllName}) lines += (system / name).wstring() + L"\n";
    for (const wchar_t* manifest : {L"system32_regsvr_manifest.txt", L"system32_copy_manifest.txt"}) {
        Bytes bytes = {0xEF, 0xBB, 0xBF};
        const Bytes text = Utf8Bytes(lines);
        bytes.insert(bytes.end(), text.begin(), text.end());
        ASSERT_TRUE(WriteFileBytes(installDir_ / manifest, bytes));
    }
    Uninstall(KeyOf(Sample().appName));
    EXPECT_TRUE(fs::exists(system / L"notepad.exe"));
    EXPECT_TRUE(fs::exists(system / L"winver.exe"));
    EXPECT_EQ(ReadFileBytes(systemDll_), std::optional<Bytes>(foreign));
}

// Two products share the sample's library: its count goes 1, 2, 1, 0, and only
// the last uninstall unregisters and deletes it.
TEST_F(OwnershipTest, SharedLibraryCountFollowsBothProducts) {
    const fs::path other = Variant(L"setup_other", {L"AppName=Zel Shared Other", L"ShortcutName=Zel Shared Other",
                                                    L"StartMenuGroupName=Zel Shared Other"});
    ASSERT_FALSE(other.empty());
    const fs::path otherDir = scratch_ / L"Other Product";

    ASSERT_FALSE(InstallWith(GetInputs().setupExe, installDir_).empty());
    EXPECT_EQ(SharedCount(systemDll_), 1u);
    ASSERT_FALSE(InstallWith(other, otherDir).empty());
    EXPECT_EQ(SharedCount(systemDll_), 2u);

    Uninstall(KeyOf(Sample().appName));
    EXPECT_EQ(SharedCount(systemDll_), 1u);
    EXPECT_TRUE(fs::exists(systemDll_)) << "the other product still uses it";
    EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::optional<std::wstring>(L"registered"));

    Uninstall(KeyOf(L"Zel Shared Other"));
    EXPECT_EQ(SharedCount(systemDll_), std::nullopt);
    EXPECT_FALSE(fs::exists(systemDll_));
    EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::nullopt);
    RemoveTree(KnownFolder(FOLDERID_Programs) / L"Zel Shared Other");
}

// ShortcutName=Notes.txt makes Notes.txt.lnk beside the user's Notes.txt, and a
// Start-menu group shared with another vendor keeps that vendor's link and the
// user's file when the product goes.
TEST_F(OwnershipTest, UsersDesktopFileAndSharedGroupAreLeftAlone) {
    const fs::path exe = Variant(L"setup_notes", {L"ShortcutName=Notes.txt", L"StartMenuGroupName=Zel Tools"});
    ASSERT_FALSE(exe.empty());
    const fs::path desktop = KnownFolder(FOLDERID_Desktop);
    const fs::path group = KnownFolder(FOLDERID_Programs) / L"Zel Tools";
    const Bytes mine = Utf8Bytes(L"the user's notes");
    ASSERT_TRUE(WriteFileBytes(desktop / L"Notes.txt", mine));
    ASSERT_TRUE(WriteFileBytes(group / L"readme.txt", mine));
    {
        // Another vendor's link in the group, made as any installer makes one.
        const ComApartment com;
        ComPtr<IShellLinkW> link;
        ComPtr<IPersistFile> file;
        ASSERT_TRUE(SUCCEEDED(
            ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid())));
        link->SetPath((SystemFolder() / L"notepad.exe").c_str());
        ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.putVoid())));
        ASSERT_TRUE(SUCCEEDED(file->Save((group / L"Other Vendor.lnk").c_str(), TRUE)));
    }

    ASSERT_FALSE(InstallWith(exe, installDir_).empty());
    EXPECT_EQ(ReadFileBytes(desktop / L"Notes.txt"), std::optional<Bytes>(mine));
    EXPECT_TRUE(fs::exists(desktop / L"Notes.txt.lnk"));
    EXPECT_EQ(ListFiles(group).size(), 4u) << "the product's two links beside the vendor's link and the file";

    Uninstall(KeyOf(Sample().appName));
    EXPECT_EQ(ReadFileBytes(desktop / L"Notes.txt"), std::optional<Bytes>(mine));
    EXPECT_FALSE(fs::exists(desktop / L"Notes.txt.lnk"));
    std::vector<std::wstring> left;
    for (const auto& [name, path] : ListFiles(group)) left.push_back(name);
    EXPECT_EQ(left, (std::vector<std::wstring>{L"Other Vendor.lnk", L"readme.txt"}));
    EXPECT_EQ(ReadFileBytes(group / L"readme.txt"), std::optional<Bytes>(mine));

    std::error_code error;
    fs::remove(desktop / L"Notes.txt", error);
    RemoveTree(group);
}

}  // namespace
}  // namespace zel::e2e
