#include "install/extra_destination/extra_destination.h"

#include <windows.h>
// knownfolders.h and shlobj.h need the types windows.h declares.
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "common/extra_destination_cases.h"
#include "common/show_text.h"
#include "e2e/automation/access_list.h"
#include "util/error_text.h"
#include "util/known_folder.h"
#include "util/path_forms.h"
#include "util/unicode.h"
#include "util/unique_handle.h"
#include "windows/install/install_test_support.h"
#include "windows/recording_reporter.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::LogOf;
using test::RecordingReporter;
using test::ScratchFolder;

using test::Show;

const std::wstring kNoSettingsLine =
    L"[情報] MstaFolder ミラー: インストール先または %LocalAppData%\\Korvel\\ の Korvel_10.ini が無いか、"
    L"MstaFolder= が空のためスキップしました。";

fs::path LocalAppDataSettings() {
    const std::wstring folder = KnownFolderPath(FOLDERID_LocalAppData);
    EXPECT_FALSE(folder.empty());
    return fs::path(folder) / L"Korvel" / L"Korvel_10.ini";
}

fs::path Canonical(const fs::path& path) {
    fs::path result;
    EXPECT_TRUE(WeaklyCanonical(path, result)) << path;
    return result;
}

std::string Utf16Settings(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::string Utf8Settings(const std::wstring& text) { return WideToUtf8(text); }

// Gives the file or folder the access list of the SDDL text; Wine keeps it and
// reports it back, though it enforces none.
void SetAccessList(const fs::path& path, const wchar_t* sddl) {
    ASSERT_EQ(test::SetAccessListFromSddl(path, sddl), static_cast<DWORD>(ERROR_SUCCESS)) << path;
}

// An install folder with a few installed files, and the settings files of both
// locations removed before and after.
class MirrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveLocalSettings();
        for (const wchar_t* file : {L"App.exe", L"Data\\x\\a.dat", L"Data\\b.dat", L"Tools\\t.exe"}) {
            test::WriteFile(Install() / file, "content of " + Show(file));
        }
    }
    void TearDown() override { RemoveLocalSettings(); }

    static void RemoveLocalSettings() {
        std::error_code ignored;
        fs::remove(LocalAppDataSettings(), ignored);
        fs::remove(LocalAppDataSettings().parent_path(), ignored);
    }
    fs::path Install() const { return install_.path(); }
    fs::path Extra() const { return extra_.path(); }
    void InstallSettings(const std::wstring& folder) {
        test::WriteFile(Install() / L"Korvel_10.ini", Utf16Settings(L"[Paths]\r\nMstaFolder=" + folder + L"\r\n"));
    }

    bool Mirror(const std::vector<std::wstring>& copied, const std::vector<std::wstring>& patterns) {
        error_ = L"stale";
        return MirrorToExtraFolders(&wizard_, Install().wstring(), copied, patterns, error_);
    }

    ScratchFolder install_{L"mirror_install"};
    ScratchFolder extra_{L"mirror_extra"};
    RecordingReporter wizard_;
    std::wstring error_;
};

TEST(MirrorRulesWin, Tables) {
    for (const auto& c : test::MirrorNamesCases()) EXPECT_EQ(MirrorFolderNames(c.patterns), c.names);
    for (const auto& c : test::kMatchCases) {
        std::wstring remainder;
        EXPECT_EQ(MatchMirrorFolder(c.relativePath, c.folderName, remainder), c.matches) << Show(c.relativePath);
        if (c.matches) {
            EXPECT_EQ(remainder, c.remainder);
        }
    }
    const std::vector<std::wstring> names = {L"Data", L"Tools"};
    for (const auto& c : test::kTargetCases) {
        EXPECT_EQ(MirrorTargetPath(c.extraFolder, c.relativePath, c.matchedName, c.remainder, names), c.target)
            << Show(c.extraFolder);
    }
    for (const auto& c : test::kMstaTextCases) EXPECT_EQ(MstaFolderValueFromText(c.text), c.value) << Show(c.text);
}

TEST(MirrorSettings, ReadMstaFolderValueFromFiles) {
    ScratchFolder scratch(L"mirror_settings");
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring value;
    };
    const Case cases[] = {
        {"UTF-16LE", Utf16Settings(L"[Korvel]\r\nMstaFolder=D:\\データ\\ミラー\r\n"), L"D:\\データ\\ミラー"},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + Utf8Settings(L"MstaFolder=D:\\データ\r\n"), L"D:\\データ"},
        {"UTF-8 without mark", Utf8Settings(L"[A]\nx=1\n[B]\n  mstafolder =  \"  D:\\Msta データ  \"  \n"),
         L"D:\\Msta データ"},
        // D:\データ\ミラー in code page 932.
        {"Shift_JIS", "[Korvel]\r\nMSTAFOLDER=\"D:\\\x83\x66\x81\x5B\x83\x5E\\\x83\x7E\x83\x89\x81\x5B\"\r\n",
         L"D:\\データ\\ミラー"},
        {"empty value ends the search", "MstaFolder=\r\nMstaFolder=D:\\Later\r\n", L""},
        {"key missing", "[Korvel]\r\nOther=D:\\x\r\n", L""},
    };
    int index = 0;
    for (const Case& c : cases) {
        const fs::path file = scratch.path() / ("settings" + std::to_string(index++) + ".ini");
        test::WriteFile(file, c.bytes);
        EXPECT_EQ(ReadMstaFolderValue(file), c.value) << c.name;
    }
    EXPECT_EQ(ReadMstaFolderValue(scratch.path() / L"missing.ini"), L"");
    EXPECT_EQ(ReadMstaFolderValue(scratch.path()), L"");  // a folder, not a file
    EXPECT_EQ(ReadMstaFolderValue(L""), L"");
}

TEST(MirrorSettings, AddExtraFolderAndEnsureFolder) {
    ScratchFolder scratch(L"mirror_folders");
    std::vector<std::wstring> folders;
    AddExtraFolder(folders, L"  \t ");
    EXPECT_TRUE(folders.empty());
    AddExtraFolder(folders, (scratch.path() / L"Msta\\.\\Data").wstring());
    AddExtraFolder(folders, L" " + scratch.path().wstring() + L"\\MSTA\\data\\ ");
    ASSERT_EQ(folders, (std::vector<std::wstring>{Canonical(scratch.path() / L"Msta" / L"Data")}));

    std::wstring error;
    EXPECT_TRUE(EnsureFolder(L"", error));
    EXPECT_TRUE(EnsureFolder(scratch.path(), error));
    EXPECT_TRUE(EnsureFolder(scratch.path() / L"a" / L"b" / L"c", error));
    EXPECT_TRUE(fs::is_directory(scratch.path() / L"a" / L"b" / L"c"));
    EXPECT_EQ(error, L"");

    test::WriteFile(scratch.path() / L"file", "x");
    const fs::path blocked = scratch.path() / L"file" / L"sub";
    EXPECT_FALSE(EnsureFolder(blocked, error));
    const std::wstring prefix = L"フォルダを作成できませんでした: " + blocked.wstring() + L" — ";
    EXPECT_EQ(error.substr(0, prefix.size()), prefix) << Show(error);
    EXPECT_GT(error.size(), prefix.size()) << "the system's description follows";
}

TEST_F(MirrorTest, NoMirrorPatternReadsNothingAndLogsNothing) {
    InstallSettings(Extra().wstring());
    EXPECT_TRUE(Mirror({L"App.exe", L"Data\\b.dat"}, {L"*.exe", L"bin\\*.dll", L"Sub\\Data\\*"}));
    EXPECT_EQ(error_, L"");
    EXPECT_EQ(wizard_.LogText(), L"");
    EXPECT_TRUE(fs::is_empty(Extra()));
}

TEST_F(MirrorTest, NoSettingsFileLogsOnce) {
    EXPECT_TRUE(Mirror({L"Data\\b.dat", L"Data\\x\\a.dat"}, {L"Data\\*", L"Tools\\*"}));
    EXPECT_EQ(wizard_.LogText(), LogOf({kNoSettingsLine}));
    // An empty value counts as none.
    test::WriteFile(LocalAppDataSettings(), "MstaFolder=\r\nMstaFolder=" + Show(Extra().wstring()) + "\r\n");
    wizard_.lines.clear();
    EXPECT_TRUE(Mirror({L"Data\\b.dat"}, {L"Data\\*"}));
    EXPECT_EQ(wizard_.LogText(), LogOf({kNoSettingsLine}));
    EXPECT_TRUE(fs::is_empty(Extra()));
}

TEST_F(MirrorTest, BothSettingsNamingOneFolderCopyOnce) {
    InstallSettings(Extra().wstring());
    std::wstring shouted = Extra().wstring();
    for (wchar_t& c : shouted) c = static_cast<wchar_t>(::towupper(c));
    test::WriteFile(LocalAppDataSettings(), "[x]\r\nmstafolder = \"" + Show(shouted) + "\"\r\n");

    EXPECT_TRUE(
        Mirror({L"App.exe", L"Data/x/a.dat", L"", L"Data\\missing.dat", L"Tools\\t.exe"}, {L"Data\\*", L"Tools/*"}))
        << Show(error_);
    const fs::path extra = Canonical(Extra());
    EXPECT_EQ(wizard_.LogText(), LogOf({L"MstaFolder 先へコピー: " + (extra / L"Data\\x\\a.dat").wstring(),
                                        L"MstaFolder 先へコピー: " + (extra / L"Tools\\t.exe").wstring()}));
    EXPECT_EQ(test::ReadFile(extra / L"Data\\x\\a.dat"), "content of Data\\x\\a.dat");
    EXPECT_FALSE(fs::exists(extra / L"App.exe"));
}

TEST_F(MirrorTest, TargetShapes) {
    struct Case {
        std::wstring extraFolder;  // below the extra scratch folder
        std::wstring target;       // where Data\x\a.dat lands
    };
    const Case cases[] = {
        {L"M\\Data", L"M\\Data\\x\\a.dat"},
        {L"N\\Tools", L"N\\Data\\x\\a.dat"},
        {L"O", L"O\\Data\\x\\a.dat"},
    };
    for (const Case& c : cases) {
        InstallSettings((Extra() / c.extraFolder).wstring());
        wizard_.lines.clear();
        EXPECT_TRUE(Mirror({L"Data\\x\\a.dat"}, {L"Data\\*", L"Tools\\*"})) << Show(error_);
        const fs::path target = Canonical(Extra()) / c.target;
        EXPECT_EQ(wizard_.LogText(), LogOf({L"MstaFolder 先へコピー: " + target.wstring()}));
        EXPECT_TRUE(fs::is_regular_file(target)) << target;
    }
}

TEST_F(MirrorTest, InstallFolderItselfIsSkipped) {
    for (const fs::path& folder : {Install() / L"Data", Install()}) {
        InstallSettings(folder.wstring());
        wizard_.lines.clear();
        EXPECT_TRUE(Mirror({L"Data\\b.dat"}, {L"Data\\*"})) << Show(error_);
        EXPECT_EQ(wizard_.LogText(), LogOf({L"MstaFolder 先へコピー省略 (インストール先と同一): " +
                                            (Canonical(Install()) / L"Data\\b.dat").wstring()}));
        EXPECT_EQ(test::ReadFile(Install() / L"Data\\b.dat"), "content of Data\\b.dat");
    }
}

// A read-only file at a target is another program's: the mirror never clears
// its attribute, keeps it as it is, says so and goes on with the other files.
TEST_F(MirrorTest, ReadOnlyTargetIsKept) {
    InstallSettings(Extra().wstring());
    const fs::path kept = Extra() / L"Data\\b.dat";
    test::WriteFile(kept, "another vendor's");
    ASSERT_TRUE(::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    test::WriteFile(Extra() / L"Data\\x\\a.dat", "an earlier mirror");

    EXPECT_TRUE(Mirror({L"Data\\b.dat", L"Data\\x\\a.dat"}, {L"Data\\*"})) << Show(error_);
    const fs::path extra = Canonical(Extra());
    EXPECT_EQ(wizard_.LogText(), LogOf({L"[警告] 読み取り専用のファイルがあるため MstaFolder 先へコピーしません: " +
                                            (extra / L"Data\\b.dat").wstring(),
                                        L"MstaFolder 先へコピー: " + (extra / L"Data\\x\\a.dat").wstring()}));
    EXPECT_EQ(test::ReadFile(kept), "another vendor's");
    EXPECT_EQ(::GetFileAttributesW(kept.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(test::ReadFile(Extra() / L"Data\\x\\a.dat"), "content of Data\\x\\a.dat");
}

// Which access lists let standard users change a settings file, by where the
// list lies. Wine keeps no lists (it reports one made from the Unix mode), so
// the rule is checked on the lists themselves.
TEST(MirrorSettingsTrust, AccessListRule) {
    using Place = SettingsListPlace;
    constexpr wchar_t kLocked[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    struct Case {
        const wchar_t* sddl;
        Place place;
        bool changes;
    };
    const Case cases[] = {
        {kLocked, Place::File, false},
        {kLocked, Place::Folder, false},
        {kLocked, Place::FolderAbove, false},
        {L"D:P(A;;FA;;;BA)(A;;0x120116;;;BU)", Place::File, true},  // write
        {L"D:P(A;;FA;;;BA)(A;;0x110000;;;AU)", Place::File, true},  // delete
        {L"D:P(A;;FA;;;WD)", Place::File, true},
        {L"D:P(A;;0x1200a9;;;WD)", Place::File, false},
        {L"D:P(A;;FA;;;S-1-5-21-1-2-3-1001)", Place::File, false},             // one named user, not a group
        {L"D:P(A;OICI;FA;;;BA)(A;;0x100002;;;AU)", Place::Folder, true},       // add a file
        {L"D:P(A;OICI;FA;;;BA)(A;;0x100040;;;BU)", Place::Folder, true},       // delete what is in it
        {L"D:P(A;OICI;FA;;;BA)(A;;WD;;;IU)", Place::Folder, true},             // change its list
        {L"D:P(A;OICI;FA;;;BA)(A;;0x100004;;;BU)", Place::Folder, false},      // only add folders
        {L"D:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;BU)", Place::Folder, false},      // only for what is made inside
        {L"D:P(A;OICI;FA;;;BA)(A;;0x110000;;;WD)", Place::FolderAbove, true},  // rename it
        {L"D:P(A;OICI;FA;;;BA)(A;;0x100040;;;AU)", Place::FolderAbove, true},  // rename what is in it
        {L"D:P(A;OICI;FA;;;BA)(A;;GA;;;BU)", Place::FolderAbove, true},
        // A drive's root: users add folders there and own what they make.
        {L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)(A;;0x100004;;;AU)",
         Place::FolderAbove, false},
        {L"D:P(A;OICI;FA;;;BA)(A;;0x100116;;;AU)", Place::FolderAbove, false},  // adds files: none on the path
        {L"not a list", Place::File, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AccessListLetsStandardUsersChange(c.sddl, c.place), c.changes)
            << Show(c.sddl) << " place " << static_cast<int>(c.place);
    }
}

// A settings file that standard users could have written (the file itself, or
// through its folder or a folder above) does not steer the elevated run: it
// is ignored with a warning. Wine shows a list that lets Everyone write.
TEST(MirrorSettingsTrust, SettingsStandardUsersCanChangeAreIgnored) {
    enum class Opened { Nothing, File, Folder, FolderAbove };
    for (const Opened opened : {Opened::Nothing, Opened::File, Opened::Folder, Opened::FolderAbove}) {
        ScratchFolder scratch(L"mirror_trust");
        const fs::path above = scratch.path() / L"Vendor";
        const fs::path install = above / L"App";
        const fs::path extra = scratch.path() / L"Extra";
        const fs::path settings = install / L"Korvel_10.ini";
        test::WriteFile(settings, Utf8Settings(L"MstaFolder=" + extra.wstring() + L"\r\n"));
        test::WriteFile(install / L"Data\\b.dat", "content");
        const std::map<Opened, fs::path> openedPath = {
            {Opened::File, settings}, {Opened::Folder, install}, {Opened::FolderAbove, above}};
        if (opened != Opened::Nothing) SetAccessList(openedPath.at(opened), L"D:P(A;OICI;FA;;;WD)");
        const bool ignored = opened != Opened::Nothing;
        const int name = static_cast<int>(opened);

        EXPECT_EQ(StandardUsersCanChangeSettings(settings), ignored) << name;
        RecordingReporter log;
        std::wstring error;
        EXPECT_TRUE(MirrorToExtraFolders(&log, install.wstring(), {L"Data\\b.dat"}, {L"Data\\*"}, error)) << name;
        const fs::path copy = Canonical(extra) / L"Data\\b.dat";
        if (ignored) {
            EXPECT_EQ(log.LogText(),
                      LogOf({L"[警告] 標準ユーザーが書き換えられる Korvel_10.ini のため MstaFolder を使いません: " +
                                 settings.wstring(),
                             kNoSettingsLine}))
                << name;
        } else {
            EXPECT_EQ(log.LogText(), LogOf({L"MstaFolder 先へコピー: " + copy.wstring()})) << name;
        }
        EXPECT_EQ(fs::exists(copy), !ignored) << name;
    }
}

TEST_F(MirrorTest, FolderThatCannotBeCreatedFailsTheStep) {
    test::WriteFile(Extra() / L"file", "x");
    InstallSettings((Extra() / L"file" / L"sub").wstring());
    EXPECT_FALSE(Mirror({L"Data\\b.dat", L"Data\\x\\a.dat"}, {L"Data\\*"}));
    const fs::path target = Canonical(Extra()) / L"file\\sub\\Data\\b.dat";
    const std::wstring prefix = L"MstaFolder 先へのコピーに失敗しました: " + target.wstring() +
                                L"\nフォルダを作成できませんでした: " + target.parent_path().wstring() + L" — ";
    EXPECT_EQ(error_.substr(0, prefix.size()), prefix) << Show(error_);
    EXPECT_EQ(wizard_.LogText(), L"");  // stopped at the first file
}

// A target that another program holds open without sharing is tried five
// times, 200 ms apart, before the step fails with the system's error text.
TEST_F(MirrorTest, LockedTargetIsRetried) {
    InstallSettings(Extra().wstring());
    const fs::path target = Extra() / L"Data\\b.dat";
    test::WriteFile(target, "old");

    {
        UniqueKernelHandle held(::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Mirror({L"Data\\b.dat"}, {L"Data\\*"}));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_GE(elapsed, std::chrono::milliseconds(750));
        EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
        EXPECT_EQ(error_, L"MstaFolder 先へのコピーに失敗しました: " + (Canonical(Extra()) / L"Data\\b.dat").wstring() +
                              L"\n" + Win32ErrorText(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(test::ReadFile(target), "old");

    // Released while the retries run: the copy goes through.
    UniqueKernelHandle held(::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    std::thread releaser([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        held.reset();
    });
    const auto start = std::chrono::steady_clock::now();
    const bool mirrored = Mirror({L"Data\\b.dat"}, {L"Data\\*"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    releaser.join();
    EXPECT_TRUE(mirrored) << Show(error_);
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_EQ(test::ReadFile(target), "content of Data\\b.dat");
}

}  // namespace
}  // namespace zel
